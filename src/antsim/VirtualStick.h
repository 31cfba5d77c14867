#pragma once

#include "antproto/AntMessage.h"
#include "antproto/FrameDecoder.h"
#include "antproto/Transport.h"
#include "antsim/SimWorld.h"
#include "platform/Clock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace caltrix::antsim {

// A stick that behaves like a USB2 ANT stick as the public protocol describes it, with the
// simulated world on the air. It is a Transport: the host writes frames to it and it answers
// with frames. Everything runs on the main thread on the world's clock; answers go out through
// scheduled work, never inside `write`.
//
// Where the public documents leave a behaviour open, the choices here are our assumptions:
// - a receiving channel's slots follow the channel's own period, whatever the device's period;
// - after MissesBeforeSearch missed messages in a row the channel goes back to search;
// - a search timeout of 0 ends the search at once;
// - before the channel has found its device the channel-ID answer echoes the configured values
//   (wildcards included), afterwards the device's real ID;
// - no transmit-slot event (3) on receiving channels (a stick sends it for master channels only);
// - commands in the wrong channel state are refused with 0x15, as clone sticks were seen to do;
// - capabilities: 8 channels, 3 networks, standard options 0x00, advanced 0xBA, advanced 2 0x36
//   (0x3A and no inclusion/exclusion list when the world says so);
// - an ID on the inclusion/exclusion list matches with the same wildcards as the channel's ID;
// - a searching channel takes the first device of the world's list (the first trainer before the
//   second) that is on the air and matches: the one whose next broadcast comes first, as every
//   device is taken to broadcast at the start of the slot.
//
// With several devices that match a wildcard search, the list decides which may be found: a
// channel with N listed IDs set to exclude never finds those, set to include finds only those.
class VirtualStick final : public antproto::Transport {
public:
    static constexpr int Channels = 8;
    static constexpr int Networks = 3;
    static constexpr int MissesBeforeSearch = 8;
    static constexpr std::uint32_t SearchUnitMs = 2500;
    static constexpr std::uint32_t AnswerDelayMs = 1;

    explicit VirtualStick(SimWorld& world);
    ~VirtualStick() override;

    bool open(antproto::TransportListener& listener, std::string& error) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    void close() override;

    // Faults.
    void setMute(bool mute) { mute_ = mute; }     // a stick that answers nothing
    void unplug();                                // reports the loss; nothing more arrives
    // A stick that hangs: from now on it takes no more bytes from the host and sends none, and its
    // transport stays open (a serial stick stops reading the terminal). There is no way back.
    void stall();
    bool stalled() const { return stalled_; }
    // Also report a transmit-slot event (3) on receiving channels, right after each received
    // message: not what a stick does (it reports it for master channels only), but a way to
    // exercise a host's transmit-slot path.
    void setTransmitSlotEvents(bool on) { transmitSlotEvents_ = on; }

    // Observation for tests and the verbose mode of antsim: every message in and out.
    std::function<void(const antproto::AntMessage&, bool toHost)> onMessage;

    enum class State { Unassigned, Assigned, Searching, Tracking };
    // For tests: the state of a channel as the stick keeps it.
    State channelState(int channel) const { return channels_[static_cast<std::size_t>(channel)].state; }

private:
    struct ListedId {
        std::uint16_t deviceNumber = 0;
        std::uint8_t deviceType = 0;
        std::uint8_t transmissionType = 0;
    };
    struct Channel {
        State state = State::Unassigned;
        std::uint8_t type = 0;
        std::uint8_t network = 0;
        std::uint16_t deviceNumber = 0;
        std::uint8_t deviceType = 0;
        std::uint8_t transmissionType = 0;
        std::uint16_t period = antproto::DefaultChannelPeriod;
        std::uint8_t searchTimeout = 10;
        std::uint8_t rfFrequency = antproto::DefaultRfFrequency;
        SimDevice* device = nullptr; // the device found, while open
        int misses = 0;
        std::uint64_t searchStart = 0;
        platform::ScheduleId slot = 0;
        std::optional<antproto::AntMessage> pending; // data for the device in the next slot
        std::array<ListedId, antproto::IdListSize> idList {};
        std::uint8_t idListSize = 0; // entries that count; 0: no list
        bool idListExcludes = false;
    };

    void handle(const antproto::AntMessage& message);
    void send(const antproto::AntMessage& message);
    void flush();
    void respond(std::uint8_t channel, std::uint8_t answered, std::uint8_t result);
    void event(std::uint8_t channel, std::uint8_t code);
    std::uint8_t configure(const antproto::AntMessage& message);
    std::uint8_t configureIdList(Channel& c, const antproto::AntMessage& message);
    void answerRequest(std::uint8_t channel, std::uint8_t requested);
    void queueData(const antproto::AntMessage& message);
    void reset();

    void startSearch(std::uint8_t channel);
    void scheduleSlot(std::uint8_t channel);
    void slot(std::uint8_t channel);
    void searchSlot(std::uint8_t channel, Channel& c, std::uint64_t now);
    void trackingSlot(std::uint8_t channel, Channel& c, std::uint64_t now);
    void miss(std::uint8_t channel, Channel& c);
    void closeCommand(std::uint8_t channel);
    void closeChannel(std::uint8_t channel);
    bool matches(const Channel& c, const SimDevice& device) const;
    static bool idMatches(const ListedId& wanted, const DeviceIdentity& id);
    static bool passesIdList(const Channel& c, const DeviceIdentity& id);
    Channel* channel(std::uint8_t number);

    SimWorld& world_;
    antproto::TransportListener* listener_ = nullptr;
    antproto::FrameDecoder decoder_;
    std::array<Channel, Channels> channels_ {};
    std::array<Key, Networks> keys_ {};
    std::vector<std::uint8_t> outgoing_;
    platform::ScheduleId flushId_ = 0;
    bool mute_ = false;
    bool unplugged_ = false;
    bool transmitSlotEvents_ = false;
    bool stalled_ = false;
    platform::ScheduleId stallCue_ = 0;  // the world's faults on cue, scheduled at creation
    platform::ScheduleId vanishCue_ = 0;
};

} // namespace caltrix::antsim
