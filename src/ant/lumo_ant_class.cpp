// The link's start-up and closing: construction, the library callbacks, opening the stick,
// describing and starting the channels, the configuration chain driven by the stick's answers, and
// closing everything.

#include "ant/lumo_ant_class.h"

#include "ant/AntLogTexts.h"
#include "antlib/AntDriver.h"
#include "devicebase/Helpers.h"
#include "platform/Error.h"
#include "platform/GuardedCall.h"
#include "platform/Platform.h"

namespace caltrix::ant {

using devicebase::Format;
using devicebase::WaitProcessingMessages;
using devicebase::WaitProcessingMessagesUntil;

std::unique_ptr<lumo_ANT> AntLink;

namespace {

constexpr std::uint32_t KeepAliveIntervalMs = 15000;
constexpr std::uint32_t ChannelStartTimeoutMs = 10000;
constexpr std::int32_t CloseWaitMs = 1000;
constexpr std::uint8_t TxPowerSetting = 3;          // 0 dBm
constexpr std::uint8_t SearchTimeoutForever = 255;  // heart-rate belt and console
constexpr std::uint8_t SearchTimeoutTenSeconds = 4; // 2.5 s units

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and the unit variable.

lumo_ANT::lumo_ANT(antlib::AntLibrary& library)
    : KeepAliveTimer(platform::clock(), KeepAliveIntervalMs, [this] { KeepAliveTimerTick(); })
    , Channels(1)
    , library_(library)
    , registered_(1, false)
{
}

lumo_ANT::lumo_ANT(std::unique_ptr<antlib::AntLibrary> library)
    : lumo_ANT(*library)
{
    ownedLibrary_ = std::move(library);
}

// Nothing registered with the library may point into this object once it is gone: a library that
// outlives the link (a test's) must not call back into freed buffers.
lumo_ANT::~lumo_ANT()
{
    KeepAliveTimer.setEnabled(false);
    for (std::size_t ch = 0; ch < registered_.size(); ++ch)
        if (registered_[ch])
            library_.ANT_AssignChannelEventFunction(static_cast<std::uint8_t>(ch), {}, Channels[ch]->RxBuffer);
    if (responseRegistered_)
        library_.ANT_AssignResponseFunction({}, ResponseBuffer);
}

std::unique_ptr<lumo_ANT> CreateAntLink(const AntLibraryFactory& makeLibrary)
{
    auto library = makeLibrary ? makeLibrary() : antlib::createAntLibrary();
    if (!library)
        throw platform::Error(QStringLiteral("The ANT library could not be created."));
    auto link = std::make_unique<lumo_ANT>(std::move(library));
    link->ownedLogs_ = logFilesFromEnvironment();
    link->LogMemo = link->ownedLogs_.log.get();
    link->RawMemo = link->ownedLogs_.raw.get();
    return link;
}

lumo_Channel* lumo_ANT::ChannelRecord(std::uint32_t ch)
{
    return const_cast<lumo_Channel*>(std::as_const(*this).ChannelRecord(ch));
}

const lumo_Channel* lumo_ANT::ChannelRecord(std::uint32_t ch) const
{
    return ch < Channels.size() ? Channels[ch].get() : nullptr;
}

void lumo_ANT::AppendLog(LogTarget* Memo, const QString& Text)
{
    if (Memo != nullptr)
        Memo->appendLine(Text);
}

void lumo_ANT::log(const char* pattern, std::initializer_list<devicebase::FormatArg> args)
{
    if (LogMemo != nullptr)
        log(Format(pattern, args));
}

bool lumo_ANT::trafficLogPasses(std::uint8_t ch) const
{
    return LogTraffic && (!LogFilterOn || ch == LogFilterChannel);
}

bool lumo_ANT::eventLogPasses(std::uint8_t ch) const { return LogEvents && (!LogFilterOn || ch == LogFilterChannel); }

// ---------------------------------------------------------------------------------------------
// The callbacks. The registered functions remember which link registered them, so that a library
// that outlived an earlier link never hands that link's answers to the current one.

namespace {
// Runs `handle` on the link of the process unless there is none or it is silenced. Nothing it
// throws (a failing log target, say) may travel back into the library: the error ends the
// handling of this message, and the stick's next message is handled afresh. Returns the
// callbacks' 0.
template <typename Handler>
std::uint8_t onAntLink(Handler handle)
{
    if (!AntLink || AntLink->Silenced)
        return 0;
    platform::guardedCall(platform::Escaped::Stopped, "handling a message from the ANT stick", [&] { handle(*AntLink); });
    return 0;
}
} // namespace

std::uint8_t lumo_ANT::ResponseCallback(std::uint8_t Channel, std::uint8_t MessageId)
{
    return onAntLink([&](lumo_ANT& link) { link.HandleResponse(Channel, MessageId); });
}

std::uint8_t lumo_ANT::ChannelEvent0(std::uint8_t Channel, std::uint8_t Event)
{
    return onAntLink([&](lumo_ANT& link) { link.HandleChannelEvent(Channel, Event); });
}

antlib::ChannelEventCallback lumo_ANT::channelCallback()
{
    return [this](std::uint8_t ch, std::uint8_t event) -> std::uint8_t {
        return AntLink.get() == this ? ChannelEvent0(ch, event) : 0;
    };
}

void lumo_ANT::registerChannel(std::uint8_t ch, lumo_Channel& record)
{
    library_.ANT_AssignChannelEventFunction(ch, channelCallback(), record.RxBuffer);
    if (registered_.size() <= ch)
        registered_.resize(ch + 1U, false);
    registered_[ch] = true;
}

// ---------------------------------------------------------------------------------------------
// Start-up and channel description.

bool lumo_ANT::OpenStick(std::uint8_t UsbNumber)
{
    // Opening forgets every registration of a stick opened before.
    std::fill(registered_.begin(), registered_.end(), false);
    responseRegistered_ = false;
    stickClosed_ = false;
    if (!library_.ANT_Init(UsbNumber, BaudRate, 0, 0)) {
        log(text::NotConnected, { UsbNumber });
        return false;
    }
    library_.ANT_AssignResponseFunction(
        [this](std::uint8_t ch, std::uint8_t id) -> std::uint8_t {
            return AntLink.get() == this ? ResponseCallback(ch, id) : 0;
        },
        ResponseBuffer);
    responseRegistered_ = true;
    log(text::StickConnected);
    library_.ANT_ResetSystem();
    log(text::CmdReset);
    // The stick needs this long before it is configured; the window keeps being painted meanwhile.
    devicebase::WaitProcessingMessages(StickResetSleepMs);
    return true;
}

void lumo_ANT::SetChannelParameters(std::uint8_t Channel, std::uint8_t NetworkNumber, std::uint16_t Period,
                                    std::uint8_t DeviceType, std::uint8_t TransmissionType,
                                    std::uint8_t ChannelType, std::uint8_t RfFrequency, std::uint32_t DeviceNumber,
                                    const AntKey& NetworkKey)
{
    if (Channels.size() < Channel + 1U)
        Channels.resize(Channel + 1U);
    log(text::ChannelParameters, { Channel });
    auto record = std::make_unique<lumo_Channel>();
    record->NetworkNumber = NetworkNumber;
    record->Period = Period;
    record->DeviceType = DeviceType;
    record->TransmissionType = TransmissionType;
    record->ChannelType = ChannelType;
    record->RfFrequency = RfFrequency;
    record->DeviceNumber = DeviceNumber;
    record->NetworkKey = NetworkKey;
    // The library keeps filling the buffer of the record it was given: hand it the new one before
    // the old record goes.
    if (Channel < registered_.size() && registered_[Channel])
        registerChannel(Channel, *record);
    Channels[Channel] = std::move(record);
}

void lumo_ANT::StartChannelSetup(std::uint8_t Channel)
{
    lumo_Channel* rec = ChannelRecord(Channel);
    if (rec == nullptr) {
        log(text::ChannelNotDescribed, { Channel });
        return;
    }
    log(text::AssignEventFunction, { Channel });
    registerChannel(Channel, *rec);
    SetupChannel = Channel;
    library_.ANT_SetNetworkKey(rec->NetworkNumber, rec->NetworkKey);
    if (LogMemo != nullptr)
        log(Format(text::CmdSetNetworkKey, { rec->NetworkNumber })
            + hexFields(rec->NetworkKey, text::KeyByteField, text::KeyByteSeparator) + text::KeyTail);
}

void lumo_ANT::StartChannels()
{
    const std::uint32_t mode = ReceiverMode;
    std::vector<std::uint8_t> order { TrainerChannel };
    if (mode == ModeTrainerNetwork)
        order.push_back(SensorChannel);
    if (mode == ModeTrainerNetwork && UseConsoleChannel)
        order.push_back(ConsoleChannel);
    if (UseHeartChannel)
        order.push_back(HeartChannel);

    // One channel at a time: the answer to a network key names the network, not the channel, so
    // the chain goes on with SetupChannel, the one channel whose key was sent last. A channel
    // started while another's chain still runs would take that chain over, and the first would
    // never open.
    platform::Clock& clock = platform::clock();
    for (const std::uint8_t ch : order) {
        if (stickClosed_)
            return;
        if (ChannelRecord(ch) == nullptr) {
            StartChannelSetup(ch); // logs that the channel was not described; nothing to wait for
            continue;
        }
        StartChannelSetup(ch);
        const std::uint32_t start = clock.tickCount();
        auto connected = [this, ch] {
            const lumo_Channel* rec = ChannelRecord(ch); // handlers run in the wait may replace it
            return stickClosed_ || (rec != nullptr && rec->Connected);
        };
        // Each wait ends the moment the channel connects; the 10 s count is the outer loop's.
        for (std::uint32_t waited = 0; !connected() && waited < ChannelStartTimeoutMs; waited = clock.tickCount() - start)
            WaitProcessingMessagesUntil(static_cast<std::int32_t>(ChannelStartTimeoutMs - waited), connected);
    }
    if (stickClosed_)
        return;
    EnableTx();
    KeepAliveTimer.setEnabled(false);
    KeepAliveTimer.setInterval(KeepAliveIntervalMs);
    KeepAliveTimer.setOnTimeout([this] { KeepAliveTimerTick(); });
    const lumo_Channel* console = ChannelRecord(ConsoleChannel);
    if (mode == ModeTrainerNetwork && console != nullptr && console->Connected)
        KeepAliveTimer.setEnabled(true);
}

void lumo_ANT::CloseAll()
{
    KeepAliveTimer.setEnabled(false);
    KeepAliveTimer.setOnTimeout({});
    closeConfirmed_.assign(Channels.size(), false);
    // Messages processed in the waits may change Channels; index afresh on every turn.
    for (std::size_t ch = 0; ch < Channels.size(); ++ch) {
        lumo_Channel* rec = ChannelRecord(static_cast<std::uint32_t>(ch));
        if (rec == nullptr || !rec->Connected)
            continue;
        rec->Connected = false;
        const auto channel = static_cast<std::uint8_t>(ch);
        // A stick that cannot close the channel is reset below anyway.
        bool closeSent = false;
        platform::guardedCall(platform::Escaped::Stopped, "closing a channel of the ANT stick",
            [&] { closeSent = library_.ANT_CloseChannel(channel); });
        // A stick that is gone takes no command and will answer nothing: no wait for it.
        if (closeSent)
            waitAfterClosing([this, ch] { return ch < closeConfirmed_.size() && closeConfirmed_[ch]; });
        if (!Silenced)
            log(text::CmdCloseChannel, { channel });
        library_.ANT_UnAssignChannel(channel);
        if (!Silenced)
            log(text::CmdUnassignedChannel, { channel });
    }
    startupSeen_ = false;
    const bool resetSent = library_.ANT_ResetSystem();
    if (!Silenced)
        log(text::CmdResetSystem);
    if (resetSent)
        waitAfterClosing([this] { return startupSeen_; });
    // Nothing more can be done with a stick that fails to close.
    platform::guardedCall(platform::Escaped::Stopped, "closing the ANT stick", [this] { library_.ANT_Close(); });
    // Closing forgets every registration.
    std::fill(registered_.begin(), registered_.end(), false);
    responseRegistered_ = false;
    stickClosed_ = true;
    if (!Silenced)
        log(text::CmdClose);
}

void lumo_ANT::waitAfterClosing(const std::function<bool()>& confirmed)
{
    if (ClosePromptly)
        WaitProcessingMessagesUntil(CloseWaitMs, confirmed);
    else
        WaitProcessingMessages(CloseWaitMs);
}

// ---------------------------------------------------------------------------------------------
// Answers from the stick.

void lumo_ANT::HandleResponse(std::uint8_t Channel, std::uint8_t MessageId)
{
    if (MessageId == antproto::msg::Startup)
        startupSeen_ = true;
    // Answers about a channel the link never described, or about no channel at all (capabilities),
    // may belong to a search on a spare channel of the same stick.
    const bool namesChannel = MessageId == MESG_RESPONSE_EVENT_ID || MessageId == MESG_CHANNEL_ID_ID
        || MessageId == antproto::msg::ChannelStatus;
    if (OnOtherResponse && (!namesChannel || ChannelRecord(Channel) == nullptr)) {
        auto take = OnOtherResponse; // it may replace itself
        if (take(Channel, MessageId, ResponseBuffer))
            return;
    }
    switch (MessageId) {
    case MESG_RESPONSE_EVENT_ID:
        handleCommandAnswer(Channel, ChannelRecord(Channel));
        break;
    case MESG_CHANNEL_ID_ID:
        handleChannelIdAnswer(Channel);
        break;
    case MESG_CAPABILITIES_ID:
        handleCapabilities();
        break;
    default:
        break;
    }
}

// One step of a channel's configuration chain: the command whose answer it waits for, the line
// that acknowledges it (a pattern over the channel, its channel type and its network), the line
// that reports its failure (over the result and response byte 0; none for the period step), and
// the next command, which `next` sends and returns the line of (a null text when it sent nothing).
struct lumo_ANT::ChainStep {
    std::uint8_t answered;
    const char* acknowledgement;
    const char* failure;
    QString (*next)(antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec);
    bool onSetupChannel = false;    // the key's answer goes on with the channel whose key was sent
    bool learnsDeviceNumber = false; // a channel paired with any device learns its number here
};

// The chain in the order the stick is configured: key, assign, channel ID, period, transmit
// power, search timeout, frequency, open.
const lumo_ANT::ChainStep* lumo_ANT::chainStepAnswering(std::uint8_t answered)
{
    static const std::array<ChainStep, 8> chain { {
        { MESG_NETWORK_KEY_ID, text::AckNetworkKey, text::FailNetworkKey,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec) {
              library.ANT_AssignChannel(ch, rec.ChannelType, rec.NetworkNumber);
              return Format(text::CmdAssignChannel, { ch, rec.ChannelType, rec.NetworkNumber });
          },
          true },
        { MESG_ASSIGN_CHANNEL_ID, text::AckAssignChannel, text::FailAssignChannel,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec) {
              library.ANT_SetChannelId(ch, static_cast<std::uint16_t>(rec.DeviceNumber & 0xFFFF), rec.DeviceType,
                                       rec.TransmissionType);
              return Format(text::CmdSetChannelId, { ch, rec.DeviceNumber, rec.DeviceType, rec.TransmissionType });
          } },
        { MESG_CHANNEL_ID_ID, text::AckSetChannelId, text::FailSetChannelId,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec) {
              library.ANT_SetChannelPeriod(ch, rec.Period);
              return Format(text::CmdSetChannelPeriod, { ch, rec.Period });
          },
          false, true },
        { MESG_CHANNEL_MESG_PERIOD_ID, text::AckSetChannelPeriod, nullptr,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel&) {
              library.ANT_SetChannelTxPower(ch, TxPowerSetting);
              return QString::fromLatin1(text::CmdSetTransmitPower);
          } },
        { MESG_RADIO_TX_POWER_ID, text::AckSetTransmitPower, text::FailSetTransmitPower,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel&) {
              const bool searchForever = ch == HeartChannel || ch == ConsoleChannel;
              library.ANT_SetChannelSearchTimeout(ch, searchForever ? SearchTimeoutForever : SearchTimeoutTenSeconds);
              return Format(text::CmdSetSearchTimeout, { ch, SearchTimeoutTenSeconds });
          } },
        { MESG_CHANNEL_SEARCH_TIMEOUT_ID, text::AckSetSearchTimeout, text::FailSetSearchTimeout,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec) {
              library.ANT_SetChannelRFFreq(ch, rec.RfFrequency);
              return Format(text::CmdSetRfFrequency, { ch, rec.RfFrequency });
          } },
        { MESG_CHANNEL_RADIO_FREQ_ID, text::AckSetRfFrequency, text::FailSetRfFrequency,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel&) {
              library.ANT_OpenChannel(ch);
              return Format(text::CmdOpenChannel, { ch });
          } },
        { MESG_OPEN_CHANNEL_ID, text::AckOpen, text::FailOpen,
          [](antlib::AntLibrary& library, std::uint8_t ch, const lumo_Channel& rec) {
              if (rec.DeviceNumber != 0)
                  return QString();
              library.ANT_RequestMessage(ch, MESG_CHANNEL_ID_ID);
              return Format(text::CmdRequestChannelId, { ch });
          } },
    } };
    for (const ChainStep& step : chain)
        if (step.answered == answered)
            return &step;
    return nullptr;
}

namespace {

// A channel paired with any device takes the number and transmission type an answer names:
// bytes 1-2 the device number, byte 4 the transmission type.
void learnDeviceNumber(lumo_Channel& rec, std::span<const std::uint8_t, 5> answer)
{
    rec.DeviceNumber = answer[1] + 256U * answer[2];
    rec.TransmissionType = answer[4];
}

} // namespace

// The stick accepted (result 0) or refused the command named in response byte 1.
void lumo_ANT::handleCommandAnswer(std::uint8_t ch, lumo_Channel* rec)
{
    const std::uint8_t answered = ResponseBuffer[1];
    const std::uint8_t result = ResponseBuffer[2];
    const std::uint8_t byte0 = ResponseBuffer[0];
    const bool ok = result == RESPONSE_NO_ERROR;
    const ChainStep* step = chainStepAnswering(answered);

    // Every step after the network key works on the record of the answering channel; an answer
    // for a channel that was never described is not ours to act on.
    const bool needsRecord = (step != nullptr && !step->onSetupChannel) || answered == MESG_CLOSE_CHANNEL_ID;
    if (needsRecord && rec == nullptr) {
        log(text::IgnoredAnswer, { answered, ch });
        return;
    }
    if (step != nullptr) {
        if (!ok) {
            if (step->failure != nullptr)
                log(step->failure, { result, byte0 });
            return;
        }
        runChainStep(*step, ch, rec);
        return;
    }

    switch (answered) {
    case MESG_CLOSE_CHANNEL_ID:
        rec->Connected = false;
        log(ok ? text::AckClose : text::FailClose, { result, byte0 });
        return;
    case MESG_UNASSIGN_CHANNEL_ID:
        log(ok ? text::AckUnassign : text::FailUnassign, { result, byte0 });
        return;
    case MESG_QUIET_ANSWER_ID:
    case MESG_BROADCAST_DATA_ID:
    case MESG_BURST_DATA_ID:
        return;
    default:
        if (ok)
            log(text::AckOther, { answered, byte0 });
        else
            log(text::FailOther, { result, answered, byte0 });
        return;
    }
}

// An accepted step: its acknowledgement, then the next command for the channel the step works on.
void lumo_ANT::runChainStep(const ChainStep& step, std::uint8_t ch, lumo_Channel* rec)
{
    // Only the key's answer may come from a channel without a record; its line shows nothing of it.
    if (rec != nullptr)
        log(step.acknowledgement, { ch, rec->ChannelType, rec->NetworkNumber });
    else
        log(step.acknowledgement);
    if (step.onSetupChannel) {
        ch = SetupChannel;
        rec = ChannelRecord(ch);
        if (rec == nullptr)
            return;
    }
    if (step.learnsDeviceNumber && rec->DeviceNumber == 0) {
        learnDeviceNumber(*rec, std::span(rec->RxBuffer).first<5>());
        log(text::LearntDeviceNumber, { rec->DeviceNumber, rec->TransmissionType });
    }
    const QString command = step.next(library_, ch, *rec);
    if (!command.isNull())
        log(command);
}

// The channel-ID answer pairs a channel described with device number 0 (any device).
void lumo_ANT::handleChannelIdAnswer(std::uint8_t ch)
{
    lumo_Channel* rec = ChannelRecord(ch);
    if (rec == nullptr) {
        log(text::IgnoredChannelId, { ch });
        return;
    }
    if (rec->DeviceNumber != 0)
        return;
    learnDeviceNumber(*rec, std::span(ResponseBuffer).first<5>());
    if (rec->DeviceNumber != 0)
        log(text::PairingDone, { ch, rec->DeviceNumber });
}

void lumo_ANT::handleCapabilities()
{
    const auto& b = ResponseBuffer;
    log(text::Capabilities, { b[0], b[1], b[2], b[3], b[4] });
}

} // namespace caltrix::ant
