#include "antsim/VirtualStick.h"

#include "antproto/Commands.h"

#include <algorithm>
#include <span>

namespace caltrix::antsim {

using antproto::AntMessage;
namespace msg = antproto::msg;
namespace code = antproto::code;
namespace command = antproto::command;

namespace {
constexpr std::uint8_t ResetReasonCommand = 0x20;
constexpr std::uint8_t SearchNever = 0xFF;

// Period in 1/32768 s as milliseconds, at least 1.
std::uint32_t periodMs(std::uint16_t period) { return std::max<std::uint32_t>(1, period * 1000u / 32768u); }
} // namespace

VirtualStick::VirtualStick(SimWorld& world)
    : world_(world)
    , transmitSlotEvents_(world.options().transmitSlotEvents)
{
    // The cues count from the world's creation, whatever the host does with the stick meanwhile.
    auto cue = [this](const std::optional<double>& seconds, std::function<void()> fault) -> platform::ScheduleId {
        if (!seconds)
            return 0;
        const auto due = static_cast<std::uint64_t>(*seconds * 1000);
        const auto now = world_.now();
        return world_.clock().callAfter(static_cast<std::uint32_t>(due > now ? due - now : 0), std::move(fault));
    };
    stallCue_ = cue(world.options().stallAfterS, [this] {
        stallCue_ = 0;
        stall();
    });
    vanishCue_ = cue(world.options().vanishAfterS, [this] {
        vanishCue_ = 0;
        unplug();
    });
}

VirtualStick::~VirtualStick()
{
    for (auto id : { stallCue_, vanishCue_ })
        if (id != 0)
            world_.clock().cancel(id);
    close();
}

void VirtualStick::stall()
{
    stalled_ = true;
    outgoing_.clear();
}

bool VirtualStick::open(antproto::TransportListener& listener, std::string& error)
{
    if (!world_.options().stickPresent || unplugged_) {
        error = "No virtual ANT stick is plugged in (the simulated stick is set to be absent).";
        return false;
    }
    listener_ = &listener;
    return true;
}

void VirtualStick::close()
{
    auto& clock = world_.clock();
    for (auto& c : channels_) {
        if (c.slot != 0)
            clock.cancel(c.slot);
        c = Channel {};
    }
    if (flushId_ != 0)
        clock.cancel(flushId_);
    flushId_ = 0;
    outgoing_.clear();
    listener_ = nullptr;
}

void VirtualStick::unplug()
{
    auto* listener = listener_;
    close();
    unplugged_ = true;
    if (listener)
        listener->transportLost("the virtual stick was unplugged");
}

bool VirtualStick::write(std::span<const std::uint8_t> bytes)
{
    if (listener_ == nullptr)
        return false;
    if (!stalled_)
        decoder_.feed(bytes, [this](const AntMessage& m) { handle(m); });
    return true;
}

// Answers are collected and handed over in one piece on the next turn of the main loop, so that a
// command is never answered inside the host's own write.
void VirtualStick::send(const AntMessage& message)
{
    if (listener_ == nullptr || stalled_)
        return;
    if (onMessage)
        onMessage(message, true);
    const auto frame = antproto::encodeFrame(message);
    outgoing_.insert(outgoing_.end(), frame.bytes().begin(), frame.bytes().end());
    if (flushId_ == 0)
        flushId_ = world_.clock().callAfter(AnswerDelayMs, [this] { flush(); });
}

void VirtualStick::flush()
{
    flushId_ = 0;
    std::vector<std::uint8_t> bytes;
    bytes.swap(outgoing_);
    if (listener_ != nullptr && !bytes.empty())
        listener_->bytesReceived(bytes);
}

void VirtualStick::respond(std::uint8_t channel, std::uint8_t answered, std::uint8_t result)
{
    send(command::channelResponse(channel, answered, result));
}

void VirtualStick::event(std::uint8_t channel, std::uint8_t eventCode) { send(command::channelEvent(channel, eventCode)); }

VirtualStick::Channel* VirtualStick::channel(std::uint8_t number)
{
    return number < Channels ? &channels_[number] : nullptr;
}

void VirtualStick::handle(const AntMessage& m)
{
    if (onMessage)
        onMessage(m, false);
    if (mute_)
        return;
    switch (m.id) {
    case msg::ResetSystem:
        reset();
        return;
    case msg::RequestMessage:
        answerRequest(m.at(0), m.at(1));
        return;
    case msg::BroadcastData:
    case msg::AcknowledgedData:
        queueData(m);
        return;
    case msg::CloseChannel:
        closeCommand(m.at(0));
        return;
    default:
        respond(m.at(0), m.id, configure(m));
    }
}

void VirtualStick::reset()
{
    auto* listener = listener_;
    close();
    listener_ = listener;
    keys_ = {};
    send(command::startup(ResetReasonCommand));
}

// The configuration commands: applies one and gives the result code of its response.
std::uint8_t VirtualStick::configure(const AntMessage& m)
{
    if (m.id == msg::NetworkKey) {
        if (m.at(0) >= Networks)
            return code::InvalidNetworkNumber;
        if (m.length < 9)
            return code::InvalidMessage;
        std::copy_n(m.payload.begin() + 1, 8, keys_[m.at(0)].begin());
        return code::NoError;
    }
    Channel* c = channel(m.at(0));
    if (c == nullptr || m.length == 0)
        return code::InvalidMessage;
    switch (m.id) {
    case msg::AssignChannel:
        if (m.at(2) >= Networks)
            return code::InvalidNetworkNumber;
        if (c->state != State::Unassigned)
            return code::ChannelInWrongState;
        c->state = State::Assigned;
        c->type = m.at(1);
        c->network = m.at(2);
        return code::NoError;
    case msg::UnassignChannel:
        if (c->state != State::Assigned)
            return code::ChannelInWrongState;
        *c = Channel {};
        return code::NoError;
    case msg::OpenChannel:
        if (c->state != State::Assigned)
            return code::ChannelInWrongState;
        startSearch(m.at(0));
        return code::NoError;
    default:
        break;
    }
    if (m.id == msg::AddChannelIdToList || m.id == msg::ConfigIdList)
        return configureIdList(*c, m);
    if (c->state == State::Unassigned)
        return code::ChannelInWrongState;
    switch (m.id) {
    case msg::ChannelId:
        c->deviceNumber = static_cast<std::uint16_t>(m.at(1) | m.at(2) << 8);
        c->deviceType = m.at(3);
        c->transmissionType = m.at(4);
        return code::NoError;
    case msg::ChannelPeriod:
        c->period = static_cast<std::uint16_t>(m.at(1) | m.at(2) << 8);
        return code::NoError;
    case msg::SearchTimeout:
        c->searchTimeout = m.at(1);
        return code::NoError;
    case msg::RfFrequency:
        if (m.at(1) > 124)
            return code::InvalidMessage;
        c->rfFrequency = m.at(1);
        return code::NoError;
    case msg::TxPower:
    case msg::LowPrioritySearchTimeout:
        return code::NoError;
    default:
        return code::InvalidMessage;
    }
}

// The list is set while the channel is assigned and closed; a stick without it does not know the
// messages at all.
std::uint8_t VirtualStick::configureIdList(Channel& c, const AntMessage& m)
{
    if (!world_.options().idList)
        return code::InvalidMessage;
    if (c.state != State::Assigned)
        return code::ChannelInWrongState;
    if (m.id == msg::AddChannelIdToList) {
        if (m.length < 6 || m.at(5) >= antproto::IdListSize)
            return code::InvalidMessage;
        c.idList[m.at(5)] = { static_cast<std::uint16_t>(m.at(1) | m.at(2) << 8), m.at(3), m.at(4) };
        return code::NoError;
    }
    if (m.length < 3 || m.at(1) > antproto::IdListSize)
        return code::InvalidMessage;
    c.idListSize = m.at(1);
    c.idListExcludes = m.at(2) != 0;
    return code::NoError;
}

void VirtualStick::answerRequest(std::uint8_t number, std::uint8_t requested)
{
    switch (requested) {
    case msg::Capabilities:
        send({ msg::Capabilities,
               { Channels, Networks, 0x00,
                 static_cast<std::uint8_t>(world_.options().idList ? 0xBA : 0xBA & ~antproto::capability::IdListOption),
                 0x36, 0x00 } });
        return;
    case msg::Version:
        send({ msg::Version, { 'A', 'J', 'K', '1', '.', '0', '0', 'S', 'I', 'M', 0 } });
        return;
    case msg::SerialNumber:
        send({ msg::SerialNumber, { 0x12, 0x34, 0x56, 0x78 } });
        return;
    default:
        break;
    }
    Channel* c = channel(number);
    if (c == nullptr) {
        respond(number, msg::RequestMessage, code::InvalidMessage);
        return;
    }
    if (requested == msg::ChannelId) {
        if (c->device != nullptr) {
            const auto& id = c->device->identity();
            send(command::channelIdAnswer(number, id.deviceNumber, id.deviceType, id.transmissionType));
        } else {
            send(command::channelIdAnswer(number, c->deviceNumber, c->deviceType, c->transmissionType));
        }
    } else if (requested == msg::ChannelStatus) {
        // Bits 0-1 state, 2-3 network, 4-7 channel type.
        const auto state = static_cast<std::uint8_t>(c->state);
        send({ msg::ChannelStatus,
               { number, static_cast<std::uint8_t>(state | (c->network & 3) << 2 | (c->type >> 4) << 4) } });
    } else {
        respond(number, msg::RequestMessage, code::InvalidMessage);
    }
}

void VirtualStick::queueData(const AntMessage& m)
{
    Channel* c = channel(m.at(0));
    if (c == nullptr || m.length < 9) {
        respond(m.at(0), m.id, code::InvalidMessage);
        return;
    }
    if (c->state != State::Searching && c->state != State::Tracking) {
        respond(m.at(0), m.id, code::ChannelNotOpened);
        return;
    }
    if (m.id == msg::AcknowledgedData && c->pending && c->pending->id == msg::AcknowledgedData) {
        respond(m.at(0), m.id, code::TransferInProgress);
        return;
    }
    c->pending = m;
}

// ---------------------------------------------------------------------------------------------
// The air: one slot per channel period.

void VirtualStick::startSearch(std::uint8_t number)
{
    Channel& c = channels_[number];
    c.state = State::Searching;
    c.device = nullptr;
    c.misses = 0;
    c.searchStart = world_.now();
    scheduleSlot(number);
}

void VirtualStick::scheduleSlot(std::uint8_t number)
{
    Channel& c = channels_[number];
    c.slot = world_.clock().callAfter(periodMs(c.period), [this, number] { slot(number); });
}

void VirtualStick::slot(std::uint8_t number)
{
    Channel& c = channels_[number];
    c.slot = 0;
    const auto now = world_.now();
    if (c.state == State::Searching)
        searchSlot(number, c, now);
    else if (c.state == State::Tracking)
        trackingSlot(number, c, now);
    if (c.state == State::Searching || c.state == State::Tracking)
        scheduleSlot(number);
}

void VirtualStick::searchSlot(std::uint8_t number, Channel& c, std::uint64_t now)
{
    for (const auto& device : world_.devices()) {
        if (device->onAir(now) && matches(c, *device)) {
            c.device = device.get();
            c.state = State::Tracking;
            c.misses = 0;
            trackingSlot(number, c, now);
            return;
        }
    }
    if (c.searchTimeout != SearchNever && now - c.searchStart >= std::uint64_t { c.searchTimeout } * SearchUnitMs) {
        c.state = State::Assigned;
        c.pending.reset();
        event(number, code::SearchTimeout);
        event(number, code::ChannelClosed);
    }
}

void VirtualStick::trackingSlot(std::uint8_t number, Channel& c, std::uint64_t now)
{
    if (!c.device->onAir(now) || world_.packetLost()) {
        miss(number, c);
        return;
    }
    c.misses = 0;
    const auto payload = c.device->nextPacket(now);
    send(command::broadcastData(number, payload));
    if (transmitSlotEvents_)
        event(number, code::Tx);
    if (!c.pending)
        return;
    const AntMessage data = *c.pending;
    c.pending.reset();
    const bool acknowledged = data.id == msg::AcknowledgedData;
    const std::span<const std::uint8_t, 8> bytes(data.payload.begin() + 1, 8);
    const bool delivered = !world_.packetLost() && c.device->receive(bytes, acknowledged);
    if (acknowledged)
        event(number, delivered ? code::TransferTxCompleted : code::TransferTxFailed);
}

void VirtualStick::miss(std::uint8_t number, Channel& c)
{
    if (c.pending && c.pending->id == msg::AcknowledgedData) {
        c.pending.reset();
        event(number, code::TransferTxFailed);
    }
    if (++c.misses < MissesBeforeSearch) {
        event(number, code::RxFailed);
        return;
    }
    event(number, code::RxFailGoToSearch);
    c.state = State::Searching;
    c.device = nullptr;
    c.misses = 0;
    c.searchStart = world_.now();
}

// The answer comes first, the channel-closed event after it.
void VirtualStick::closeCommand(std::uint8_t number)
{
    Channel* c = channel(number);
    if (c == nullptr) {
        respond(number, msg::CloseChannel, code::InvalidMessage);
        return;
    }
    if (c->state != State::Searching && c->state != State::Tracking) {
        respond(number, msg::CloseChannel, code::ChannelInWrongState);
        return;
    }
    respond(number, msg::CloseChannel, code::NoError);
    closeChannel(number);
}

void VirtualStick::closeChannel(std::uint8_t number)
{
    Channel& c = channels_[number];
    if (c.slot != 0)
        world_.clock().cancel(c.slot);
    c.slot = 0;
    c.state = State::Assigned;
    c.device = nullptr;
    c.pending.reset();
    event(number, code::ChannelClosed);
}

// A channel hears a device on the same RF frequency and network key whose ID matches; 0 in the
// device number, device type or transmission type is a wildcard, and bit 7 of the device type
// (the pairing bit) is not compared.
bool VirtualStick::matches(const Channel& c, const SimDevice& device) const
{
    const auto& id = device.identity();
    return id.rfFrequency == c.rfFrequency && id.networkKey == keys_[c.network]
        && idMatches({ c.deviceNumber, c.deviceType, c.transmissionType }, id) && passesIdList(c, id);
}

bool VirtualStick::idMatches(const ListedId& wanted, const DeviceIdentity& id)
{
    return (wanted.deviceNumber == 0 || wanted.deviceNumber == id.deviceNumber)
        && ((wanted.deviceType & 0x7F) == 0 || (wanted.deviceType & 0x7F) == (id.deviceType & 0x7F))
        && (wanted.transmissionType == 0 || wanted.transmissionType == id.transmissionType);
}

// Exclusion: none of the listed IDs may match; inclusion: one of them must.
bool VirtualStick::passesIdList(const Channel& c, const DeviceIdentity& id)
{
    if (c.idListSize == 0)
        return true;
    const auto listed = std::span(c.idList).first(c.idListSize);
    const bool onList = std::any_of(listed.begin(), listed.end(), [&](const ListedId& l) { return idMatches(l, id); });
    return onList != c.idListExcludes;
}

} // namespace caltrix::antsim
