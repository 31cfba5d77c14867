#include "antlib/AntDriver.h"

#include "antproto/Commands.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdio>

namespace caltrix::antlib {

namespace msg = antproto::msg;
namespace code = antproto::code;
namespace command = antproto::command;
using antproto::AntMessage;
using antproto::FrameDecoder;
using antproto::encodeFrame;

namespace {
bool isChannelMessage(std::uint8_t id)
{
    return id == msg::ChannelResponse || id == msg::ChannelId || id == msg::ChannelStatus
        || id == msg::BroadcastData || id == msg::AcknowledgedData || id == msg::BurstData;
}

// Copies a payload into a registered buffer: cut to the buffer, the rest zero.
void fill(std::uint8_t* buffer, std::size_t size, std::span<const std::uint8_t> bytes)
{
    const auto n = std::min(size, bytes.size());
    std::copy_n(bytes.begin(), n, buffer);
    std::fill(buffer + n, buffer + size, std::uint8_t { 0 });
}
} // namespace

AntDriver::AntDriver(platform::Clock& clock, TransportFactory factory, StallWatch stallWatch)
    : clock_(clock)
    , factory_(std::move(factory))
    , stallWatch_(stallWatch)
{
}

AntDriver::~AntDriver() { ANT_Close(); }

bool AntDriver::ANT_Init(std::uint8_t deviceNumber, std::uint32_t baudRate, std::uint8_t, std::uint8_t)
{
    ANT_Close();
    std::string error;
    auto transport = factory_(deviceNumber, baudRate, error);
    if (transport == nullptr) {
        reportOnce(error);
        return false;
    }
    decoder_ = FrameDecoder {};
    lost_ = false;
    if (!transport->open(*this, error)) {
        reportOnce(error);
        return false;
    }
    transport_ = std::move(transport);
    open_ = true;
    ++generation_;
    lastHeard_ = clock_->tickCount();
    probeSent_.reset();
    probeAnswersDue_ = 0;
    watchForStall();
    return true;
}

// The caller tries stick after stick; the same complaint is worth one line, not eight.
void AntDriver::reportOnce(const std::string& error)
{
    if (!error.empty() && error != lastError_)
        report(error);
}

void AntDriver::report(const std::string& error)
{
    lastError_ = error;
    std::fprintf(stderr, "%s\n", error.c_str());
}

void AntDriver::ANT_Close()
{
    open_ = false; // from here on, messages still handed over are dropped
    if (transport_)
        transport_->close();
    transport_.reset();
    clock_->dropPosted(this); // the reader has ended: nothing more is posted
    for (auto id : scheduled_)
        clock_->cancel(id);
    scheduled_.clear();
    if (stallCheck_ != 0)
        clock_->cancel(stallCheck_);
    stallCheck_ = 0;
    responseCallback_ = nullptr;
    responseBuffer_ = nullptr;
    channels_ = {};
    openChannels_.reset();
}

void AntDriver::ANT_AssignResponseFunction(ResponseCallback callback, ResponseBuffer buffer)
{
    responseCallback_ = std::move(callback);
    responseBuffer_ = buffer.data();
}

void AntDriver::ANT_AssignChannelEventFunction(std::uint8_t channel, ChannelEventCallback callback,
                                               ReceiveBuffer buffer)
{
    if (channel >= MaxChannels)
        return;
    channels_[channel] = { std::move(callback), buffer.data() };
}

bool AntDriver::send(const AntMessage& message)
{
    if (!open_ || lost_ || !transport_)
        return false;
    return transport_->write(encodeFrame(message).bytes());
}

bool AntDriver::sendToChannel(std::uint8_t channel, const AntMessage& message)
{
    return channel < MaxChannels && send(message);
}

bool AntDriver::ANT_ResetSystem()
{
    openChannels_.reset();
    return send(command::resetSystem());
}

bool AntDriver::ANT_SetNetworkKey(std::uint8_t network, NetworkKey key)
{
    return send(command::setNetworkKey(network, key));
}

bool AntDriver::ANT_AssignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network)
{
    return sendToChannel(channel, command::assignChannel(channel, channelType, network));
}

bool AntDriver::ANT_SetChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                                 std::uint8_t transmissionType)
{
    return sendToChannel(channel, command::setChannelId(channel, deviceNumber, deviceType, transmissionType));
}

bool AntDriver::ANT_SetChannelPeriod(std::uint8_t channel, std::uint16_t period)
{
    return sendToChannel(channel, command::setChannelPeriod(channel, period));
}

bool AntDriver::ANT_SetChannelTxPower(std::uint8_t channel, std::uint8_t power)
{
    return sendToChannel(channel, command::setTxPower(channel, power));
}

bool AntDriver::ANT_SetChannelSearchTimeout(std::uint8_t channel, std::uint8_t timeout)
{
    return sendToChannel(channel, command::setSearchTimeout(channel, timeout));
}

bool AntDriver::ANT_SetChannelRFFreq(std::uint8_t channel, std::uint8_t rfFrequency)
{
    return sendToChannel(channel, command::setRfFrequency(channel, rfFrequency));
}

bool AntDriver::ANT_OpenChannel(std::uint8_t channel)
{
    if (channel >= MaxChannels)
        return false;
    if (open_ && lost_) {
        reportLostSearch(channel);
        return false;
    }
    openChannels_.set(channel);
    return send(command::openChannel(channel));
}

bool AntDriver::ANT_AddChannelID(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                                 std::uint8_t transmissionType, std::uint8_t listIndex)
{
    if (listIndex >= antproto::IdListSize)
        return false;
    return sendToChannel(channel,
        command::addChannelIdToList(channel, deviceNumber, deviceType, transmissionType, listIndex));
}

bool AntDriver::ANT_ConfigList(std::uint8_t channel, std::uint8_t listSize, bool exclude)
{
    if (listSize > antproto::IdListSize)
        return false;
    return sendToChannel(channel, command::configIdList(channel, listSize, exclude));
}

bool AntDriver::ANT_RequestMessage(std::uint8_t channel, std::uint8_t messageId)
{
    return send(command::requestMessage(channel, messageId));
}

bool AntDriver::ANT_SendBroadcastData(std::uint8_t channel, DataPayload data)
{
    return sendToChannel(channel, command::broadcastData(channel, data));
}

bool AntDriver::ANT_SendAcknowledgedData(std::uint8_t channel, DataPayload data)
{
    return sendToChannel(channel, command::acknowledgedData(channel, data));
}

bool AntDriver::ANT_CloseChannel(std::uint8_t channel)
{
    if (channel < MaxChannels)
        openChannels_.reset(channel);
    return sendToChannel(channel, command::closeChannel(channel));
}

bool AntDriver::ANT_UnAssignChannel(std::uint8_t channel)
{
    return sendToChannel(channel, command::unassignChannel(channel));
}

// ---------------------------------------------------------------------------------------------
// From the stick to the callbacks.

// The transport's thread: decode, then post the whole batch to the main thread without waiting
// for it, so the callbacks and all the state they touch stay on the main thread and a callback may
// close the stick while its reader goes on. On the virtual stick this is the main thread already
// and the batch runs at once.
void AntDriver::bytesReceived(std::span<const std::uint8_t> bytes)
{
    std::vector<AntMessage> batch;
    decoder_.feed(bytes, [&batch](const AntMessage& m) { batch.push_back(m); });
    if (batch.empty())
        return;
    if (clock_->onMainThread())
        deliver(batch);
    else
        clock_->postToMain(this, [this, batch = std::move(batch)] { deliver(batch); });
}

// A callback may close the stick, or close it and open another: the rest of the batch belongs to
// the stick that sent it. Batches of a closed stick not yet begun are dropped by ANT_Close.
void AntDriver::deliver(const std::vector<AntMessage>& batch)
{
    const auto generation = generation_;
    if (open_) {
        lastHeard_ = clock_->tickCount();
        probeSent_.reset();
    }
    for (const auto& m : batch) {
        if (!open_ || generation != generation_)
            return;
        dispatch(m);
    }
}

void AntDriver::dispatch(const AntMessage& m)
{
    if (swallowProbeAnswer(m))
        return;
    const std::uint8_t channel = isChannelMessage(m.id) ? m.at(0) : 0;
    if (m.id == msg::ChannelResponse && m.at(1) == msg::RfEvent) {
        if (m.at(2) == code::ChannelClosed && channel < MaxChannels)
            openChannels_.reset(channel);
        deliverEvent(channel, m.at(2));
        return;
    }
    if (m.id == msg::BroadcastData || m.id == msg::AcknowledgedData) {
        if (channel >= MaxChannels || channels_[channel].buffer == nullptr || !channels_[channel].callback)
            return;
        fill(channels_[channel].buffer, ReceiveBufferSize, m.bytes());
        auto callback = channels_[channel].callback; // the callback may replace its registration
        callback(channel, m.id == msg::BroadcastData ? code::BroadcastReceived : code::AcknowledgedReceived);
        return;
    }
    if (m.id == msg::BurstData || responseBuffer_ == nullptr || !responseCallback_)
        return;
    fill(responseBuffer_, ResponseBufferSize, m.bytes());
    auto callback = responseCallback_;
    callback(channel, m.id);
}

void AntDriver::deliverEvent(std::uint8_t channel, std::uint8_t eventCode)
{
    if (channel >= MaxChannels || channels_[channel].buffer == nullptr || !channels_[channel].callback)
        return;
    const std::array<std::uint8_t, 3> event { channel, msg::RfEvent, eventCode };
    fill(channels_[channel].buffer, ReceiveBufferSize, event);
    auto callback = channels_[channel].callback;
    callback(channel, eventCode);
}

// ---------------------------------------------------------------------------------------------
// A stick that is gone.

void AntDriver::transportLost(const std::string& reason)
{
    if (!open_ || lost_)
        return;
    lost_ = true;
    report("The ANT stick stopped answering (" + reason
               + "). Its channels are reported as lost; plug the stick back in and restart Caltrix.");
    for (std::uint8_t ch = 0; ch < MaxChannels; ++ch)
        if (openChannels_.test(ch))
            reportLostSearch(ch);
}

// A channel on a lost stick searches in vain: it reports its search timeout and closes, just as a
// channel does whose device went silent, so the caller's loss handling runs instead of a frozen
// last value being shown.
void AntDriver::reportLostSearch(std::uint8_t channel)
{
    openChannels_.reset(channel);
    const auto id = std::make_shared<std::uint64_t>(0);
    *id = clock_->callAfter(LostSearchTimeoutMs, [this, channel, id] {
        std::erase(scheduled_, *id);
        deliverEvent(channel, code::SearchTimeout);
        deliverEvent(channel, code::ChannelClosed);
    });
    scheduled_.push_back(*id);
}

// Checks the stick's silence now and then, on the main thread, while it is open and not lost.
void AntDriver::watchForStall()
{
    const std::uint32_t checkMs = std::max<std::uint32_t>(1, std::min(stallWatch_.silenceBeforeProbeMs, stallWatch_.answerTimeoutMs) / 2);
    stallCheck_ = clock_->callAfter(checkMs, [this] {
        stallCheck_ = 0;
        if (!open_ || lost_)
            return;
        const std::uint32_t now = clock_->tickCount();
        if (probeSent_ && now - *probeSent_ >= stallWatch_.answerTimeoutMs) {
            transportLost("it sent nothing for " + std::to_string((now - lastHeard_ + 500) / 1000)
                          + " s, not even the answer to a question");
            return;
        }
        if (!probeSent_ && openChannels_.any() && now - lastHeard_ >= stallWatch_.silenceBeforeProbeMs) {
            probeSent_ = now; // also when the write is refused: a stick that takes nothing is stalled too
            if (send(command::requestMessage(0, msg::ChannelStatus)))
                ++probeAnswersDue_;
        }
        watchForStall();
    });
}

bool AntDriver::swallowProbeAnswer(const AntMessage& m)
{
    if (m.id != msg::ChannelStatus || probeAnswersDue_ == 0)
        return false;
    --probeAnswersDue_;
    return true;
}

std::unique_ptr<AntLibrary> createAntLibrary()
{
    return std::make_unique<AntDriver>(platform::clock(), transportsFromEnvironment(platform::clock()));
}

} // namespace caltrix::antlib
