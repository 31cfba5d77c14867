#pragma once

#include "QtPrinters.h"

#include "ant/lumo_ant_class.h"
#include "antproto/DeviceProfiles.h"
#include "antlib/AntDriver.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SimTransport.h"
#include "devicebase/Helpers.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include "SimulatedWorld.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace caltrix::ant::test {

// Bytes as "01 78 00 ..." for readable call records.
inline std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string out;
    char cell[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += cell;
    }
    return out;
}

// A library that answers nothing by itself: it records every call as a line such as
// "OpenChannel(1)" and lets the test play the stick, delivering answers, events and packets
// through the callbacks the link registered, with any channel number the radio might name.
class RecordingLibrary final : public antlib::AntLibrary {
public:
    struct Slot {
        antlib::ChannelEventCallback callback;
        std::uint8_t* buffer = nullptr;
    };

    std::vector<std::string> calls;
    bool initResult = true;
    bool throwOnClose = false; // CloseChannel and Close throw, as the vendor library may
    bool stickGone = false;    // every command fails to go out, as on a stick pulled out
    antlib::ResponseCallback response;
    std::uint8_t* responseBuffer = nullptr;
    std::map<std::uint8_t, Slot> channels;

    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }

    // The stick answers `messageId` with `bytes` in the response buffer (cut to 10, rest zero).
    void answer(std::uint8_t channel, std::uint8_t messageId, std::vector<std::uint8_t> bytes)
    {
        bytes.resize(antlib::ResponseBufferSize, 0);
        std::copy(bytes.begin(), bytes.end(), responseBuffer);
        auto cb = response;
        cb(channel, messageId);
    }
    // A response event: the stick accepted (0) or refused the command `answered` on `channel`.
    void commandAnswer(std::uint8_t channel, std::uint8_t answered, std::uint8_t result = 0)
    {
        answer(channel, MESG_RESPONSE_EVENT_ID, { channel, answered, result });
    }
    // An RF event on a channel, as the library reports it: buffer = channel, 0x01, code.
    void event(std::uint8_t channel, std::uint8_t code)
    {
        deliver(channel, code, { channel, MESG_EVENT_ID, code });
    }
    // A received packet: buffer = channel, then the 8 payload bytes.
    void packet(std::uint8_t channel, const AntPayload& data, bool acknowledged = false)
    {
        std::vector<std::uint8_t> bytes { channel };
        bytes.insert(bytes.end(), data.begin(), data.end());
        deliver(channel, acknowledged ? EVENT_RX_ACKNOWLEDGED : EVENT_RX_BROADCAST, bytes);
    }

    bool ANT_Init(std::uint8_t n, std::uint32_t baud, std::uint8_t, std::uint8_t) override
    {
        record("Init(" + std::to_string(n) + "; " + std::to_string(baud) + ")");
        response = nullptr;
        channels.clear();
        return initResult;
    }
    void ANT_AssignResponseFunction(antlib::ResponseCallback callback, antlib::ResponseBuffer buffer) override
    {
        record(callback ? "AssignResponseFunction" : "UnassignResponseFunction");
        response = std::move(callback);
        responseBuffer = buffer.data();
    }
    void ANT_AssignChannelEventFunction(std::uint8_t channel, antlib::ChannelEventCallback callback,
                                        antlib::ReceiveBuffer buffer) override
    {
        record((callback ? "AssignChannelEventFunction(" : "UnassignChannelEventFunction(") + std::to_string(channel)
               + ")");
        channels[channel] = { std::move(callback), buffer.data() };
    }
    bool ANT_ResetSystem() override { return record("ResetSystem"); }
    void ANT_Close() override
    {
        record("Close");
        response = nullptr;
        channels.clear();
        if (throwOnClose)
            throw std::runtime_error("close failed");
    }
    bool ANT_SetNetworkKey(std::uint8_t network, antlib::NetworkKey key) override
    {
        return record("SetNetworkKey(" + std::to_string(network) + "; " + hex(key) + ")");
    }
    bool ANT_AssignChannel(std::uint8_t ch, std::uint8_t type, std::uint8_t network) override
    {
        return record("AssignChannel(" + args({ ch, type, network }) + ")");
    }
    bool ANT_SetChannelId(std::uint8_t ch, std::uint16_t number, std::uint8_t type, std::uint8_t tx) override
    {
        return record("SetChannelId(" + args({ ch, number, type, tx }) + ")");
    }
    bool ANT_SetChannelPeriod(std::uint8_t ch, std::uint16_t period) override
    {
        return record("SetChannelPeriod(" + args({ ch, period }) + ")");
    }
    bool ANT_SetChannelTxPower(std::uint8_t ch, std::uint8_t power) override
    {
        return record("SetChannelTxPower(" + args({ ch, power }) + ")");
    }
    bool ANT_SetChannelSearchTimeout(std::uint8_t ch, std::uint8_t timeout) override
    {
        return record("SetChannelSearchTimeout(" + args({ ch, timeout }) + ")");
    }
    bool ANT_SetChannelRFFreq(std::uint8_t ch, std::uint8_t rf) override
    {
        return record("SetChannelRFFreq(" + args({ ch, rf }) + ")");
    }
    bool ANT_OpenChannel(std::uint8_t ch) override { return record("OpenChannel(" + args({ ch }) + ")"); }
    bool ANT_AddChannelID(std::uint8_t ch, std::uint16_t number, std::uint8_t type, std::uint8_t tx,
                          std::uint8_t index) override
    {
        return record("AddChannelID(" + args({ ch, number, type, tx, index }) + ")");
    }
    bool ANT_ConfigList(std::uint8_t ch, std::uint8_t size, bool exclude) override
    {
        return record("ConfigList(" + args({ ch, size, exclude ? 1 : 0 }) + ")");
    }
    bool ANT_RequestMessage(std::uint8_t ch, std::uint8_t id) override
    {
        return record("RequestMessage(" + args({ ch, id }) + ")");
    }
    bool ANT_SendBroadcastData(std::uint8_t ch, antlib::DataPayload data) override
    {
        return record("SendBroadcastData(" + args({ ch }) + "; " + hex(data) + ")");
    }
    bool ANT_SendAcknowledgedData(std::uint8_t ch, antlib::DataPayload data) override
    {
        return record("SendAcknowledgedData(" + args({ ch }) + "; " + hex(data) + ")");
    }
    bool ANT_CloseChannel(std::uint8_t ch) override
    {
        record("CloseChannel(" + args({ ch }) + ")");
        if (throwOnClose)
            throw std::runtime_error("close channel failed");
        return !stickGone;
    }
    bool ANT_UnAssignChannel(std::uint8_t ch) override { return record("UnAssignChannel(" + args({ ch }) + ")"); }

private:
    bool record(std::string call)
    {
        calls.push_back(std::move(call));
        return !stickGone;
    }
    static std::string args(std::initializer_list<int> values)
    {
        std::string out;
        for (int v : values)
            out += (out.empty() ? "" : "; ") + std::to_string(v);
        return out;
    }
    void deliver(std::uint8_t channel, std::uint8_t code, std::vector<std::uint8_t> bytes)
    {
        auto it = channels.find(channel);
        if (it == channels.end() || !it->second.callback)
            return;
        bytes.resize(antlib::ReceiveBufferSize, 0);
        std::copy(bytes.begin(), bytes.end(), it->second.buffer);
        auto cb = it->second.callback;
        cb(channel, code);
    }
};

// The channel plan of the trainer component, by receiver mode.
struct PlanNumbers {
    std::uint32_t trainer = 0;
    std::uint32_t heart = 0;
    std::uint32_t console = 0;
};

inline void describePlan(lumo_ANT& link, std::uint32_t mode, PlanNumbers n = {})
{
    const AntKey keyA = antlib::defaultNetworkKeyA();
    const AntKey keyB = antlib::defaultNetworkKeyB();
    link.ReceiverMode = mode;
    namespace profile = antproto::profile;
    // Each channel as the device component describes it: receiving (type 0), with its key.
    auto describe = [&](std::uint8_t ch, const profile::DeviceProfile& p, std::uint32_t number) {
        const AntKey& key = p.network == profile::PublicNetwork ? keyA : keyB;
        link.SetChannelParameters(ch, p.network, p.period, p.deviceType, p.transmissionType, 0, p.rfFrequency,
                                  number, key);
    };
    describe(0, profile::HeartRateBelt, n.heart);
    if (mode == ModeTrainerNetwork) {
        describe(1, profile::NativeTrainer, n.trainer);
        describe(2, profile::SpeedCadenceSensor, n.trainer);
    } else {
        describe(1, profile::CompactTrainer, n.trainer);
    }
    describe(3, profile::Console, n.console);
}

// Virtual time for the link: the platform clock is a VirtualClock for the fixture's lifetime.
struct VirtualTime {
    platform::VirtualClock clock;
    platform::ScopedClock scoped { clock };

    // Lets `ms` of virtual time pass, processing messages as the link's own waits do.
    void run(std::int32_t ms) { devicebase::WaitProcessingMessages(ms); }
};

// A link in AntLink over the recording library, with both logs to memory.
struct FakeLink : VirtualTime {
    RecordingLibrary lib;
    MemoryLog log;
    MemoryLog raw;
    lumo_ANT& link;

    FakeLink()
        : link(*(AntLink = std::make_unique<lumo_ANT>(lib)))
    {
        link.LogMemo = &log;
        link.RawMemo = &raw;
    }
    ~FakeLink() { AntLink.reset(); }

    // Channel `ch` of the plan (described once, in `mode`) with its setup started, so that its
    // callback is registered; `deviceNumber` replaces the plan's. Calls and lines so far are dropped.
    lumo_Channel& ready(std::uint8_t ch, std::uint32_t deviceNumber = 1234, std::uint32_t mode = ModeTrainerNetwork)
    {
        if (lib.response == nullptr)
            link.OpenStick(0);
        if (link.Channels.size() < 4)
            describePlan(link, mode, { 1234, 1234, 1234 });
        link.ReceiverMode = mode;
        link.Channels[ch]->DeviceNumber = deviceNumber;
        link.StartChannelSetup(ch);
        lib.take();
        log.clear();
        raw.clear();
        return *link.Channels[ch];
    }
};

// A link in AntLink over the real library with the built-in virtual stick and its simulated
// world, on virtual time, with both logs to memory.
struct SimLink : VirtualTime {
    explicit SimLink(antsim::WorldOptions options = defaultWorld())
        : driver(clock, antlib::virtualStickFactory(clock, options, [this](antlib::SimTransport& t) { sim = &t; }))
        , link(*(AntLink = std::make_unique<lumo_ANT>(driver)))
    {
        link.LogMemo = &log;
        link.RawMemo = &raw;
        link.BaudRate = 57600;
    }
    ~SimLink() { AntLink.reset(); }

    static antsim::WorldOptions defaultWorld() { return caltrix::test::worldWithDefaultKeys(); }

    antsim::SimWorld& world() { return sim->world(); }

    antlib::SimTransport* sim = nullptr;
    antlib::AntDriver driver;
    MemoryLog log;
    MemoryLog raw;
    lumo_ANT& link;
};

inline std::vector<std::string> repeatedCalls(const std::string& call, int times)
{
    return std::vector<std::string>(static_cast<std::size_t>(times), call);
}

inline QStringList linesStartingWith(const QStringList& lines, const QString& prefix)
{
    QStringList out;
    for (const auto& l : lines)
        if (l.startsWith(prefix))
            out << l;
    return out;
}

} // namespace caltrix::ant::test
