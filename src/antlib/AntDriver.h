#pragma once

#include "antlib/AntLibrary.h"
#include "antproto/FrameDecoder.h"
#include "antproto/Transport.h"
#include "platform/Clock.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace caltrix::antlib {

// Makes the transport of stick number `number` at `baudRate`, or returns null with `error` set
// to one line (a malformed configuration, stick number out of range). Opening comes later.
using TransportFactory =
    std::function<std::unique_ptr<antproto::Transport>(std::uint8_t number, std::uint32_t baudRate, std::string& error)>;

// The transports named by CALTRIX_ANT (read at every call), on `clock`.
TransportFactory transportsFromEnvironment(platform::Clock& clock);

// A stick that hangs without going away (a serial stick that stops reading, a frozen USB
// stick) is found by asking: when a stick with open channels has sent nothing for
// `silenceBeforeProbeMs`, the driver asks it for a channel's status (an answer it keeps to
// itself); when nothing at all arrives within `answerTimeoutMs` after that, the stick is
// treated as gone.
struct StallWatch {
    std::uint32_t silenceBeforeProbeMs = 2000;
    std::uint32_t answerTimeoutMs = 3000;
};

// The ANT library over a transport: the ANT_ operations encode commands and write them, the bytes
// from the stick go through the frame decoder on the transport's thread, and the messages are
// posted to the main thread (Clock::postToMain) where the callbacks run.
class AntDriver final : public AntLibrary, private antproto::TransportListener {
public:
    // How long a search lasts on a stick that is gone before the channel reports its timeout:
    // long enough not to spin when the caller reopens, short enough that a lost trainer shows soon.
    static constexpr std::uint32_t LostSearchTimeoutMs = 250;
    static constexpr int MaxChannels = 8;


    AntDriver(platform::Clock& clock, TransportFactory factory, StallWatch stallWatch = StallWatch());
    ~AntDriver() override;

    bool ANT_Init(std::uint8_t deviceNumber, std::uint32_t baudRate, std::uint8_t, std::uint8_t) override;
    void ANT_AssignResponseFunction(ResponseCallback callback, ResponseBuffer buffer) override;
    void ANT_AssignChannelEventFunction(std::uint8_t channel, ChannelEventCallback callback,
                                        ReceiveBuffer buffer) override;
    bool ANT_ResetSystem() override;
    void ANT_Close() override;
    bool ANT_SetNetworkKey(std::uint8_t network, NetworkKey key) override;
    bool ANT_AssignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network) override;
    bool ANT_SetChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                          std::uint8_t transmissionType) override;
    bool ANT_SetChannelPeriod(std::uint8_t channel, std::uint16_t period) override;
    bool ANT_SetChannelTxPower(std::uint8_t channel, std::uint8_t power) override;
    bool ANT_SetChannelSearchTimeout(std::uint8_t channel, std::uint8_t timeout) override;
    bool ANT_SetChannelRFFreq(std::uint8_t channel, std::uint8_t rfFrequency) override;
    bool ANT_OpenChannel(std::uint8_t channel) override;
    bool ANT_AddChannelID(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                          std::uint8_t transmissionType, std::uint8_t listIndex) override;
    bool ANT_ConfigList(std::uint8_t channel, std::uint8_t listSize, bool exclude) override;
    bool ANT_RequestMessage(std::uint8_t channel, std::uint8_t messageId) override;
    bool ANT_SendBroadcastData(std::uint8_t channel, DataPayload data) override;
    bool ANT_SendAcknowledgedData(std::uint8_t channel, DataPayload data) override;
    bool ANT_CloseChannel(std::uint8_t channel) override;
    bool ANT_UnAssignChannel(std::uint8_t channel) override;

    // Main thread: hands one message to the callbacks as if it had come from the stick. The path
    // every received message takes; public for the codec benchmark.
    void dispatch(const antproto::AntMessage& message);

    std::string lastError() const override { return lastError_; }
    bool stickLost() const { return lost_; }

private:
    struct ChannelSlot {
        ChannelEventCallback callback;
        std::uint8_t* buffer = nullptr;
    };

    // TransportListener: bytesReceived runs on the transport's thread, transportLost on the main one.
    void bytesReceived(std::span<const std::uint8_t> bytes) override;
    void transportLost(const std::string& reason) override;

    void deliver(const std::vector<antproto::AntMessage>& batch);
    bool send(const antproto::AntMessage& message);
    bool sendToChannel(std::uint8_t channel, const antproto::AntMessage& message);
    void deliverEvent(std::uint8_t channel, std::uint8_t eventCode);
    void watchForStall();
    bool swallowProbeAnswer(const antproto::AntMessage& message);
    void reportLostSearch(std::uint8_t channel);
    void reportOnce(const std::string& error);
    void report(const std::string& error);

    platform::ClockRef clock_;
    TransportFactory factory_;
    const StallWatch stallWatch_;
    std::unique_ptr<antproto::Transport> transport_; // main thread
    // Touched only by the thread that delivers the transport's bytes, one at a time.
    antproto::FrameDecoder decoder_;
    // Main thread only, below.
    bool open_ = false;
    bool lost_ = false;
    std::uint64_t generation_ = 0; // counts the sticks opened
    ResponseCallback responseCallback_;
    std::uint8_t* responseBuffer_ = nullptr;
    std::array<ChannelSlot, MaxChannels> channels_ {};
    std::bitset<MaxChannels> openChannels_; // opened by the host and not closed since
    std::vector<std::uint64_t> scheduled_;  // lost-search reports not yet run
    std::string lastError_;                 // the last transport error, also written to standard error
    std::uint32_t lastHeard_ = 0;           // tick count when the stick last sent something
    std::optional<std::uint32_t> probeSent_; // tick count of the status request not answered yet
    int probeAnswersDue_ = 0;               // status answers to the driver's own requests, still to come
    std::uint64_t stallCheck_ = 0;           // the next look at the stick's silence
};

// The library of the running program: the platform clock and the transports of CALTRIX_ANT.
std::unique_ptr<AntLibrary> createAntLibrary();

} // namespace caltrix::antlib
