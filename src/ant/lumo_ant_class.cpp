#include "ant/lumo_ant_class.h"

#include "antlib/AntDriver.h"
#include "devicebase/Format.h"
#include "devicebase/Helpers.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <cmath>

namespace caltrix::ant {

using devicebase::Format;
using devicebase::WaitProcessingMessages;
using devicebase::WaitProcessingMessagesUntil;
namespace trainer = antproto::profile::trainer;
namespace console = antproto::profile::console;

std::unique_ptr<lumo_ANT> AntLink;

namespace {

constexpr std::uint32_t KeepAliveIntervalMs = 15000;
constexpr std::uint32_t StickResetSleepMs = 600;
constexpr std::uint32_t ChannelStartTimeoutMs = 10000;
constexpr std::int32_t CloseWaitMs = 1000;
constexpr std::uint8_t TxPowerSetting = 3;           // 0 dBm
constexpr std::uint8_t SearchTimeoutForever = 255;   // heart-rate belt and console
constexpr std::uint8_t SearchTimeoutTenSeconds = 4;  // 2.5 s units
constexpr std::int32_t CadenceStaleLimit = 40;       // packets without a crank event before 0 rpm
constexpr float MinimumSpeed = 0.4F;                 // km/h; slower reads as standing still

const QString InterferenceLine = QStringLiteral("It should call \"HandleInterference\". Removed from cose.");

QString number(std::int64_t n) { return QString::number(n); }

// Payload byte `i` (0-7) of a receive buffer, whose byte 0 is the channel.
std::uint8_t payload(const AntReceiveBuffer& rx, std::size_t i) { return rx[i + 1]; }
std::int32_t payloadWord(const AntReceiveBuffer& rx, std::size_t i)
{
    return payload(rx, i) | (payload(rx, i + 1) << 8);
}

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
// throws (a failing log target, say) may travel back into the library. Returns the callbacks' 0.
template <typename Handler>
std::uint8_t onAntLink(Handler handle)
{
    if (!AntLink || AntLink->Silenced)
        return 0;
    try {
        handle(*AntLink);
    } catch (...) {
        // Dropped: the stick's next message is handled afresh.
    }
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
    if (!library_.ANT_Init(UsbNumber, BaudRate, 0, 0)) {
        log("Not Connected " + number(UsbNumber));
        return false;
    }
    library_.ANT_AssignResponseFunction(
        [this](std::uint8_t ch, std::uint8_t id) -> std::uint8_t {
            return AntLink.get() == this ? ResponseCallback(ch, id) : 0;
        },
        ResponseBuffer);
    responseRegistered_ = true;
    log(QStringLiteral("Chiave connessa!"));
    library_.ANT_ResetSystem();
    log(QStringLiteral("Cmd - Reset"));
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
    log("Set channel parameter array [" + number(Channel) + "]");
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
        log(Format("Channel %d was not described: not started", { Channel }));
        return;
    }
    log(Format("ANT_AssignChannelEventFunction(%d),@ChannelEvent0)", { Channel }));
    registerChannel(Channel, *rec);
    SetupChannel = Channel;
    library_.ANT_SetNetworkKey(rec->NetworkNumber, rec->NetworkKey);
    const auto& k = rec->NetworkKey;
    log("Cmd - SetNetworkKey("
        + Format("%d; [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x]",
                 { rec->NetworkNumber, k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7] })
        + ")");
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

    platform::Clock& clock = platform::clock();
    for (const std::uint8_t ch : order) {
        if (ChannelRecord(ch) == nullptr) {
            StartChannelSetup(ch); // logs that the channel was not described; nothing to wait for
            continue;
        }
        StartChannelSetup(ch);
        const std::uint32_t start = clock.tickCount();
        auto connected = [this, ch] {
            const lumo_Channel* rec = ChannelRecord(ch); // handlers run in the wait may replace it
            return rec != nullptr && rec->Connected;
        };
        // Each wait ends the moment the channel connects; the 10 s count is the outer loop's.
        for (std::uint32_t waited = 0; !connected() && waited < ChannelStartTimeoutMs; waited = clock.tickCount() - start)
            WaitProcessingMessagesUntil(static_cast<std::int32_t>(ChannelStartTimeoutMs - waited), connected);
    }
    EnableTx();
    KeepAliveTimer.setEnabled(false);
    KeepAliveTimer.setInterval(KeepAliveIntervalMs);
    KeepAliveTimer.setOnTimeout([this] { KeepAliveTimerTick(); });
    const lumo_Channel* console = ChannelRecord(ConsoleChannel);
    if (mode == ModeTrainerNetwork && console != nullptr && console->Connected)
        KeepAliveTimer.setEnabled(true);
}

void lumo_ANT::QueueResistance(std::uint8_t Level)
{
    EnableTx();
    ResistanceLevel = Level;
    ResistancePending = true;
}

void lumo_ANT::EnableTx() { TxEnabled = true; }

void lumo_ANT::CloseAll()
{
    KeepAliveTimer.setEnabled(false);
    KeepAliveTimer.setOnTimeout({});
    // Messages processed in the waits may change Channels; index afresh on every turn.
    for (std::size_t ch = 0; ch < Channels.size(); ++ch) {
        lumo_Channel* rec = ChannelRecord(static_cast<std::uint32_t>(ch));
        if (rec == nullptr || !rec->Connected)
            continue;
        rec->Connected = false;
        const auto channel = static_cast<std::uint8_t>(ch);
        bool closeSent = false;
        try {
            closeSent = library_.ANT_CloseChannel(channel);
        } catch (...) {
            // A stick that cannot close the channel is reset below anyway.
        }
        // A stick that is gone takes no command and will answer nothing: no wait for it.
        if (closeSent)
            WaitProcessingMessages(CloseWaitMs);
        if (!Silenced)
            log("Cmd - Close channel " + number(channel));
        library_.ANT_UnAssignChannel(channel);
        if (!Silenced)
            log("Cmd - Unassigned channel " + number(channel));
    }
    const bool resetSent = library_.ANT_ResetSystem();
    if (!Silenced)
        log(QStringLiteral("Cmd - ResetSystem"));
    if (resetSent)
        WaitProcessingMessages(CloseWaitMs);
    try {
        library_.ANT_Close();
    } catch (...) {
        // Nothing more can be done with a stick that fails to close.
    }
    // Closing forgets every registration.
    std::fill(registered_.begin(), registered_.end(), false);
    responseRegistered_ = false;
    if (!Silenced)
        log(QStringLiteral("Cmd - Close"));
}

// ---------------------------------------------------------------------------------------------
// Answers from the stick.

void lumo_ANT::HandleResponse(std::uint8_t Channel, std::uint8_t MessageId)
{
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

// One step of a channel's configuration chain: the stick accepted (result 0) or refused the
// command named in response byte 1; an accepted step sends the next command.
void lumo_ANT::handleCommandAnswer(std::uint8_t ch, lumo_Channel* rec)
{
    const std::uint8_t answered = ResponseBuffer[1];
    const std::uint8_t result = ResponseBuffer[2];
    const std::uint8_t byte0 = ResponseBuffer[0];
    const bool ok = result == RESPONSE_NO_ERROR;

    // Every step after the network key works on the record of the answering channel; an answer
    // for a channel that was never described is not ours to act on.
    switch (answered) {
    case MESG_ASSIGN_CHANNEL_ID:
    case MESG_CHANNEL_ID_ID:
    case MESG_CHANNEL_MESG_PERIOD_ID:
    case MESG_RADIO_TX_POWER_ID:
    case MESG_CHANNEL_SEARCH_TIMEOUT_ID:
    case MESG_CHANNEL_RADIO_FREQ_ID:
    case MESG_OPEN_CHANNEL_ID:
    case MESG_CLOSE_CHANNEL_ID:
        if (rec == nullptr) {
            log(Format("Ignored answer (0x%.2X) for channel %d, which was not described", { answered, ch }));
            return;
        }
        break;
    default:
        break;
    }

    switch (answered) {
    case MESG_NETWORK_KEY_ID: {
        if (!ok) {
            log(Format("Fail(0x%.2dX) - NetworkKey", { result }));
            return;
        }
        log(QStringLiteral("Ack - SetNetworkKey"));
        const lumo_Channel* setup = ChannelRecord(SetupChannel);
        if (setup == nullptr)
            return;
        library_.ANT_AssignChannel(SetupChannel, setup->ChannelType, setup->NetworkNumber);
        log("Cmd - AssignChannel("
            + Format("%d; %d, %d", { SetupChannel, setup->ChannelType, setup->NetworkNumber }) + ")");
        return;
    }
    case MESG_ASSIGN_CHANNEL_ID:
        if (!ok) {
            log(Format("Fail(0x%.2dX) - AssignChannel(%.2d)", { result, byte0 }));
            return;
        }
        log("Ack - AssignChannel(" + Format("%d; %d; %d", { ch, rec->ChannelType, rec->NetworkNumber }) + ")");
        library_.ANT_SetChannelId(ch, static_cast<std::uint16_t>(rec->DeviceNumber & 0xFFFF), rec->DeviceType,
                                  rec->TransmissionType);
        log("Cmd - SetChannelId("
            + Format("%d; %d; %d; %d", { ch, rec->DeviceNumber, rec->DeviceType, rec->TransmissionType }) + ")");
        return;
    case MESG_CHANNEL_ID_ID:
        if (!ok) {
            log(Format("Fail(0x%.2X) - SetChannelID(%.2d)", { result, byte0 }));
            return;
        }
        log(QStringLiteral("Ack - SetChannelID"));
        if (rec->DeviceNumber == 0) {
            rec->DeviceNumber = rec->RxBuffer[1] + 256U * rec->RxBuffer[2];
            rec->TransmissionType = rec->RxBuffer[4];
            log("Ack - ANT_RequestMessage Device Number:" + number(rec->DeviceNumber)
                + " Transmission Type:" + number(rec->TransmissionType));
        }
        library_.ANT_SetChannelPeriod(ch, rec->Period);
        log("Cmd - SetChannelPeriod(" + Format("%d; %d", { ch, rec->Period }) + ")");
        return;
    case MESG_CHANNEL_MESG_PERIOD_ID:
        if (!ok)
            return;
        log(QStringLiteral("Ack - SetChannelPeriod"));
        library_.ANT_SetChannelTxPower(ch, TxPowerSetting);
        log(QStringLiteral("Cmd - ANT_SetTransmitPower"));
        return;
    case MESG_RADIO_TX_POWER_ID: {
        if (!ok) {
            log(Format("Fail(0x%.2dX) - SetChannelPeriod(%.2d)", { result, byte0 }));
            return;
        }
        log(QStringLiteral("Ack - ANT_SetTransmitPower"));
        const bool searchForever = ch == HeartChannel || ch == ConsoleChannel;
        library_.ANT_SetChannelSearchTimeout(ch, searchForever ? SearchTimeoutForever : SearchTimeoutTenSeconds);
        log("Cmd - SetChannelSearchTimeout(" + Format("%d: %d", { ch, SearchTimeoutTenSeconds }) + ")");
        return;
    }
    case MESG_CHANNEL_SEARCH_TIMEOUT_ID:
        if (!ok) {
            log(Format("Fail(0x%.2X) - SetChannelSearchTimeout(%.2d)", { result, byte0 }));
            return;
        }
        log(QStringLiteral("Ack - SetChannelSearchTimeout"));
        library_.ANT_SetChannelRFFreq(ch, rec->RfFrequency);
        log("Cmd - SetChannelRFFreq(" + Format("%d; %d", { ch, rec->RfFrequency }) + ")");
        return;
    case MESG_CHANNEL_RADIO_FREQ_ID:
        if (!ok) {
            log(Format("Fail(0x%.2dX) - SetRFFreq(%.2d)", { result, byte0 }));
            return;
        }
        log(QStringLiteral("Ack - SetRFFreq"));
        library_.ANT_OpenChannel(ch);
        log("Cmd - OpenChannel " + number(ch));
        return;
    case MESG_OPEN_CHANNEL_ID:
        if (!ok) {
            log(Format("Fail(0x%.2x) - Open(%.2d)", { result, byte0 }));
            return;
        }
        log("Ack - Open " + number(ch));
        if (rec->DeviceNumber == 0) {
            library_.ANT_RequestMessage(ch, MESG_CHANNEL_ID_ID);
            log("Cmd - ANT_RequestMessage(" + number(ch) + ",MESG_CHANNEL_ID_ID)");
        }
        return;
    case MESG_CLOSE_CHANNEL_ID:
        rec->Connected = false;
        log(ok ? QStringLiteral("Ack - Close") : Format("Fail(0x%.2x) - Close(%.2d)", { result, byte0 }));
        return;
    case MESG_UNASSIGN_CHANNEL_ID:
        log(ok ? QStringLiteral("Ack - UnassignChannel")
               : Format("Fail((0x%dX)) - UnassignChannel(%d)", { result, byte0 }));
        return;
    case MESG_QUIET_ANSWER_ID:
    case MESG_BROADCAST_DATA_ID:
    case MESG_BURST_DATA_ID:
        return;
    default:
        log(ok ? Format("Ack - MesgID:(0x%.2X) - Channel:(%.2d)", { answered, byte0 })
               : Format("Fail(0x%.2X) - MesgID:(0x%.2X) - Channel:(%.2d)", { result, answered, byte0 }));
        return;
    }
}

// The channel-ID answer pairs a channel described with device number 0 (any device).
void lumo_ANT::handleChannelIdAnswer(std::uint8_t ch)
{
    lumo_Channel* rec = ChannelRecord(ch);
    if (rec == nullptr) {
        log(Format("Ignored channel ID for channel %d, which was not described", { ch }));
        return;
    }
    if (rec->DeviceNumber != 0)
        return;
    rec->DeviceNumber = ResponseBuffer[1] + 256U * ResponseBuffer[2];
    rec->TransmissionType = ResponseBuffer[4];
    if (rec->DeviceNumber != 0)
        log("Paring done (" + number(ch) + "). Device Number =  " + number(rec->DeviceNumber));
}

void lumo_ANT::handleCapabilities()
{
    const auto& b = ResponseBuffer;
    log("ANT Capabilities:" + ("  -Max Channel: " + number(b[0])) + ("  -Max Network: " + number(b[1]))
        + "  -Standard Options: " + Format("0x%x", { b[2] }) + "  -Advanced Options: " + Format("0x%x", { b[3] })
        + "  -Advanced Options 2: " + Format("0x%x", { b[4] }));
}

// ---------------------------------------------------------------------------------------------
// Channel events.

void lumo_ANT::HandleChannelEvent(std::uint8_t Channel, std::uint8_t Event)
{
    const std::uint8_t ch = Channel;
    lumo_Channel* rec = ChannelRecord(ch);
    // The radio names the channel: one we never described, or beyond the retry table, is not ours.
    if (rec == nullptr || ch >= SearchRetries.size()) {
        log(Format("Ignored event %d on channel %d, which was not described", { Event, ch }));
        return;
    }

    switch (Event) {
    case EVENT_RX_SEARCH_TIMEOUT:
        searchTimedOut(ch, rec);
        break;
    case EVENT_RX_FAIL:
        if (LogMemo != nullptr && trafficLogPasses(ch))
            log(Format("Rx Fail RF Freq:%d NoConnectCount:%f.0 Channel: %d",
                       { rec->RfFrequency, static_cast<double>(RxFailRun), ch }));
        ++RxFailTotal;
        RxFailRun += 1.0F;
        break;
    case EVENT_TX:
        if (TxEnabled)
            commandStep(ch, *rec);
        if (ch == ConsoleChannel)
            log(QStringLiteral("########## KAL SENT ########"));
        if (RawMemo != nullptr && trafficLogPasses(ch))
            AppendLog(RawMemo, txLine(ch, *rec, 0));
        break;
    case EVENT_TRANSFER_TX_COMPLETED:
        log(QStringLiteral("EVENT_TRANSFER_TX_COMPLETED"));
        transferEnded(ch, *rec, true);
        break;
    case EVENT_TRANSFER_TX_FAILED:
        transferEnded(ch, *rec, false);
        break;
    case EVENT_CHANNEL_CLOSED:
        log("Ack - Channel Close" + number(ch));
        break;
    case EVENT_RX_FAIL_GO_TO_SEARCH:
        RxFailRun = 0;
        if (TransferSeen != 0) {
            TransferSeen = 0;
            log(InterferenceLine);
            ReopenPending = true;
        } else {
            ReopenPending = false;
        }
        break;
    case EVENT_RX_BROADCAST:
    case EVENT_RX_ACKNOWLEDGED:
        packetReceived(ch, *rec);
        break;
    default:
        break;
    }
}

// Loss of a channel: up to six silent reopens, then one logged reopen when a go-to-search event
// followed a transfer, otherwise the loss of the heart-rate or trainer channel.
void lumo_ANT::searchTimedOut(std::uint8_t ch, lumo_Channel* rec)
{
    if (SearchRetries[ch] <= 5) {
        ++SearchRetries[ch];
        library_.ANT_OpenChannel(ch);
        return;
    }
    if (ReopenPending) {
        ReopenPending = false;
        library_.ANT_OpenChannel(ch);
        log("Cmd - OpenChannel(" + number(ch) + ")");
        return;
    }
    log(InterferenceLine);
    if (ch == HeartChannel && rec->Connected) {
        HeartEventSeen = true;
        HeartRate = 0;
        if (OnHeartLost)
            OnHeartLost(ch);
    }
    if (ch == TrainerChannel && rec->Connected) {
        if (OnTrainerLost)
            OnTrainerLost(ch);
        TrainerLost = true;
    }
}

void lumo_ANT::transferEnded(std::uint8_t ch, const lumo_Channel& rec, bool completed)
{
    ++RxCount;
    if (TransferSeen == 0)
        TransferSeen = 1;
    RxFailRun = 0;
    const QString name = completed ? QStringLiteral("EVENT_TRANSFER_TX_COMPLETED")
                                   : QStringLiteral("EVENT_TRANSFER_TX_FAILED");
    QString last;
    if (trafficLogPasses(ch)) {
        if (LogMemo != nullptr) {
            const auto& rx = rec.RxBuffer;
            log(Format("Recv Ack(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RxCount:%d",
                       { ch, rx[0], rx[1], rx[2], rx[3], rx[4], rx[5], rx[6], rx[7], 0 }));
        }
        last = name + " (" + number(ch) + ")";
        log(last);
    }
    // A failed transfer repeats its last line in the event log, empty when none was written.
    if (!completed && eventLogPasses(ch))
        log(last);
}

void lumo_ANT::packetReceived(std::uint8_t ch, lumo_Channel& rec)
{
    SearchRetries[ch] = 0;
    const auto& rx = rec.RxBuffer;
    if (RawMemo != nullptr && trafficLogPasses(ch))
        AppendLog(RawMemo, Format("Rx(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RF Freq:%d RxCount:%d",
                                  { ch, rx[0], rx[1], rx[2], rx[3], rx[4], rx[5], rx[6], rx[7], rec.RfFrequency,
                                    TxCount }));
    if (rec.DeviceNumber == 0) {
        // Until the channel-ID answer names the device, every packet asks for it again.
        library_.ANT_RequestMessage(ch, MESG_CHANNEL_ID_ID);
        log(QStringLiteral("ANT_RequestMessage -> channel event"));
    }
    ++RxCount;
    RxFailRun = 0;
    // The summary shows the packet as it arrived; only composed when it will be written.
    QString summary;
    if (LogMemo != nullptr && eventLogPasses(ch))
        summary = Format("Recv(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RF Freq:%d RxCount:%d",
                         { ch, rx[1], rx[2], rx[3], rx[4], rx[5], rx[6], rx[7], rx[8], rec.RfFrequency, RxCount });
    packetStep(ch, rec);
    if (eventLogPasses(ch) && !summary.isNull())
        log(summary);
    if (TxEnabled)
        replyStep(ch, rec);
}

// ---------------------------------------------------------------------------------------------
// Packets of the four channels.

// Heart-rate belt: [7] heart rate, beats/min. Console: [0] page, then page 0x05 [1..4] key
// states (0 up), page 0x02 [1..6] memory values, pages 0xFF/0xFE [1] command code.
void lumo_ANT::packetStep(std::uint8_t ch, lumo_Channel& rec)
{
    const auto& rx = rec.RxBuffer;
    const std::uint8_t page = payload(rx, 0);
    switch (ch) {
    case HeartChannel:
        rec.Connected = true;
        HeartEventSeen = true;
        HeartRate = payload(rx, 7);
        return;
    case ConsoleChannel:
        rec.Connected = true;
        if (!KeepAliveTimer.enabled())
            KeepAliveTimer.setEnabled(true);
        if (page == console::PageAck) {
            switch (payload(rx, 1)) {
            case console::CmdAcknowledgedOnly: ConsoleAck8 = true; break;
            case console::CmdSwitch: ConsoleAck9 = true; break;
            case console::CmdKeepAlive: ConsoleAck10 = true; break;
            default: break;
            }
        }
        if (page == console::PageNack && payload(rx, 1) == console::CmdKeepAlive && OnConsoleCommand)
            OnConsoleCommand(console::CmdKeepAlive);
        if (page == console::PageKeys)
            for (std::size_t i = 0; i < ConsoleKeys.size(); ++i)
                ConsoleKeys[i] = payload(rx, i + 1) != 0;
        consoleReplies(rec);
        if (page == console::PageMemory) {
            for (std::size_t i = 0; i < ConsoleEprom.size(); ++i)
                ConsoleEprom[i] = payload(rx, i + 1);
            ConsoleEpromReceived = true;
            log(QStringLiteral("********EPROM RECEIVED CONSOLE******"));
        }
        return;
    case SensorChannel:
        rec.Connected = true;
        updateCadence(rx);
        updateSpeed(rx);
        return;
    case TrainerChannel:
        // The trainer counts as connected only once its device number is known.
        if (ReceiverMode == ModeSpeedSensor) {
            if (!rec.Connected && rec.DeviceNumber != 0)
                rec.Connected = true;
            DecodeCompactPacket(rx);
        } else if (ReceiverMode == ModeTrainerNetwork) {
            if (!rec.Connected && rec.DeviceNumber != 0)
                rec.Connected = true;
            nativeTrainerPage(ch, rx);
        }
        return;
    default:
        return;
    }
}

// Keep-alive [0] 0x0A, [1..7] 0; switch [0] 0x09, [1] 1 on / 0 off, [2..7] 0.
// The console stays awake only while it hears us: one keep-alive for each of its packets, and the
// switch command right after it when one is waiting.
void lumo_ANT::consoleReplies(lumo_Channel& console)
{
    console.TxData = { console::CmdKeepAlive, 0, 0, 0, 0, 0, 0, 0 };
    library_.ANT_SendBroadcastData(ConsoleChannel, console.TxData);
    if (LogMemo != nullptr && trafficLogPasses(ConsoleChannel))
        log(txLine(ConsoleChannel, console, TxCount) + "  KAL continuo");
    ++TxCount;
    if (!ConsoleSwitchPending)
        return;
    console.TxData = { console::CmdSwitch, static_cast<std::uint8_t>(ConsoleSwitchValue ? 1 : 0), 0, 0, 0, 0, 0, 0 };
    ConsoleSwitchPending = false;
    library_.ANT_SendBroadcastData(ConsoleChannel, console.TxData);
    if (LogMemo != nullptr && trafficLogPasses(ConsoleChannel))
        log(txLine(ConsoleChannel, console, TxCount));
    ++TxCount;
}

// Native trainer: [0] page; 0x07 [1..3] distance (24 bits LE); 0x02 [1..6] memory values;
// 0xFF/0xFE [1] command code acknowledged/refused; 0x11 [1] a value.
void lumo_ANT::nativeTrainerPage(std::uint8_t ch, const AntReceiveBuffer& rx)
{
    const std::uint8_t page = payload(rx, 0);
    const std::uint8_t code = payload(rx, 1);
    if (page == trainer::PageDistance) {
        log("Distance Recieved command (" + number(ch) + ")");
        TrainerDistance = payload(rx, 1) | (payload(rx, 2) << 8) | (payload(rx, 3) << 16);
        DistanceRequestPending = false;
    }
    if (page == trainer::PageMemory) {
        for (std::size_t i = 0; i < TrainerEprom.size(); ++i)
            TrainerEprom[i] = payload(rx, i + 1);
        TrainerEpromReceived = true;
    }
    if (page == trainer::PageAck && code == trainer::CmdMemoryWrite)
        TrainerEpromWriteAcked = true;
    if (page == trainer::PageAck)
        log("ACK(" + number(ch) + ")-CMD(" + number(code) + ")");
    if (page == trainer::PageNack)
        log("NACK!!(" + number(ch) + ")-CMD(" + number(code) + ")");
    if (page == trainer::PageSingleValue) {
        Page17Seen = true;
        Page17Value = code;
    }
}

// Resistance [0] 0x01, [1] level 0..255, [2..7] 0; compact [0..1] CompactValue LE, [2..6] 0, [7] 0x01.
// Every trainer packet is answered at once: the current resistance level (native protocol) or
// the compact value (compact protocol).
void lumo_ANT::replyStep(std::uint8_t ch, lumo_Channel& rec)
{
    if (ch != TrainerChannel)
        return;
    if (ReceiverMode == ModeSpeedSensor) {
        if (CompactValue == 0xFFFF)
            CompactValue = 0xFFFE; // 0xFFFF is never sent
        rec.TxData = { static_cast<std::uint8_t>(CompactValue & 0xFF), static_cast<std::uint8_t>(CompactValue >> 8),
                       0, 0, 0, 0, 0, 0x01 };
    } else if (ReceiverMode == ModeTrainerNetwork) {
        rec.TxData = { trainer::CmdResistance, ResistanceLevel, 0, 0, 0, 0, 0, 0 };
    } else {
        return;
    }
    library_.ANT_SendBroadcastData(ch, rec.TxData);
    if (LogMemo != nullptr && trafficLogPasses(ch)) {
        const auto& t = rec.TxData;
        log("Tx(" + number(ch) + "):("
            + Format("%d; [%.2X] [%.2X] [%.2X] [%.2X] [%.2X] [%.2X] [%.2X] [%.2X]",
                     { ch, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7] })
            + ")");
    }
}

// [0] command; 0x04 and 0x07 nothing more; 0x08 [1..3] Command8Value (24 bits LE); 0x03 [1..2]
// memory word 0 LE, [3..7] low bytes of words 1..5; unused bytes 0.
// At a transmit slot of the trainer channel: the waiting commands, each overwriting TxData in turn;
// only the memory write is sent from here.
void lumo_ANT::commandStep(std::uint8_t ch, lumo_Channel& rec)
{
    if (ch != TrainerChannel)
        return;
    auto& t = rec.TxData;
    if (ReceiverMode == ModeSpeedSensor) {
        t[0] = static_cast<std::uint8_t>(CompactValue & 0xFF);
        t[1] = static_cast<std::uint8_t>(CompactValue >> 8);
        return;
    }
    if (ReceiverMode != ModeTrainerNetwork)
        return;
    if (ResistancePending) {
        t = { trainer::CmdResistance, ResistanceLevel, 0, 0, 0, 0, 0, 0 };
        ResistancePending = false;
    }
    if (Command4Pending) {
        t = { trainer::CmdCodeOnly, 0, 0, 0, 0, 0, 0, 0 };
        Command4Pending = false;
    }
    if (DistanceRequestPending)
        t = { trainer::CmdDistanceRequest, 0, 0, 0, 0, 0, 0, 0 }; // until page 7 answers
    if (Command8Pending) {
        t = { trainer::CmdThreeByteValue, static_cast<std::uint8_t>(Command8Value & 0xFF),
              static_cast<std::uint8_t>((Command8Value >> 8) & 0xFF),
              static_cast<std::uint8_t>((Command8Value >> 16) & 0xFF), 0, 0, 0, 0 };
        Command8Pending = false;
    }
    if (TrainerEpromWritePending) {
        const auto& w = TrainerEpromWriteData;
        t = { trainer::CmdMemoryWrite,
              static_cast<std::uint8_t>(w[0] & 0xFF),
              static_cast<std::uint8_t>(w[0] >> 8),
              static_cast<std::uint8_t>(w[1] & 0xFF),
              static_cast<std::uint8_t>(w[2] & 0xFF),
              static_cast<std::uint8_t>(w[3] & 0xFF),
              static_cast<std::uint8_t>(w[4] & 0xFF),
              static_cast<std::uint8_t>(w[5] & 0xFF) };
        TrainerEpromWritePending = false;
        log(QStringLiteral("########## RICHIESTA EPROM TRAINER SCRITTURA  ########"));
        library_.ANT_SendAcknowledgedData(ch, t);
        if (LogMemo != nullptr && trafficLogPasses(ch))
            log(txLine(ch, rec, TxCount));
        ++TxCount;
    }
}

QString lumo_ANT::txLine(std::uint8_t ch, const lumo_Channel& rec, std::int64_t count) const
{
    const auto& t = rec.TxData;
    return Format("Tx(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RF Freq:%d RxCount:%d",
                  { ch, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], rec.RfFrequency, count });
}

// ---------------------------------------------------------------------------------------------
// Speed-and-cadence sensor: event times in 1/1024 s and revolution counts, 16 bits each and
// wrapping; a wrap gives a non-positive difference and so no new value for that packet.

// [0..1] crank event time, 1/1024 s, LE; [2..3] crank revolutions, LE.
void lumo_ANT::updateCadence(const AntReceiveBuffer& rx)
{
    CadenceTime = payloadWord(rx, 0);
    CadenceRevs = payloadWord(rx, 2);
    if (CadenceRevs != CadencePrevRevs) {
        const std::int32_t dt = CadenceTime - CadencePrevTime;
        const std::int32_t dr = CadenceRevs - CadencePrevRevs;
        if (dt > 0 && dr > 0) {
            // One revolution per crank event; nearbyint rounds halves to the even neighbour.
            Cadence = static_cast<std::uint32_t>(std::nearbyint(1024.0L / dt * 60));
            CadenceStaleCount = 0;
        }
        CadencePrevTime = CadenceTime;
        CadencePrevRevs = CadenceRevs;
    } else if (CadenceTime == CadencePrevTime) {
        ++CadenceStaleCount;
        if (CadenceStaleCount > CadenceStaleLimit)
            Cadence = 0;
    }
}

// [4..5] wheel event time, 1/1024 s, LE; [6..7] wheel revolutions, LE.
void lumo_ANT::updateSpeed(const AntReceiveBuffer& rx)
{
    SpeedTime = payloadWord(rx, 4);
    WheelRevs = payloadWord(rx, 6);
    if (WheelRevs != WheelPrevRevs) {
        const std::int32_t dt = SpeedTime - SpeedPrevTime;
        const std::int32_t dr = WheelRevs - WheelPrevRevs;
        if (dt > 0 && dr > 0) {
            // WheelDiameter x 3.14 is the circumference in mm; 3686.4 = 3.6 x 1024 gives km/h.
            Speed = static_cast<float>(WheelDiameter / EventsPerTurn * 3.14L * 3686.4L / 1000 * dr / dt);
            if (Speed < MinimumSpeed)
                Speed = 0;
        }
        SpeedPrevTime = SpeedTime;
        WheelPrevRevs = WheelRevs;
    } else if (SpeedTime == SpeedPrevTime) {
        Speed = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Compact trainer protocol: decimal digits in nibbles, used as they come.

bool lumo_ANT::IsBitSet(std::uint8_t value, std::uint8_t bit) { return bit < 8 && ((value >> bit) & 1U) != 0; }

// [0] speed units|tenths, [1] tens|hundreds (km/h digits, high|low nibble); [2..3] count LE,
// distance 2 x count; [4] cadence units|-, [5] tens|hundreds (rev/min); [6] not 0: out of range.
void lumo_ANT::DecodeCompactPacket(const AntReceiveBuffer& buffer)
{
    const auto digit = [&buffer](std::size_t byte, bool high) {
        const std::uint8_t v = payload(buffer, byte);
        const std::uint8_t low = high ? 4 : 0;
        return 8 * IsBitSet(v, low + 3) + 4 * IsBitSet(v, low + 2) + 2 * IsBitSet(v, low + 1) + IsBitSet(v, low);
    };
    Speed = static_cast<float>(digit(0, true) + digit(0, false) * 0.1 + digit(1, true) * 10 + digit(1, false) * 100);
    const std::int32_t n = 2 * payloadWord(buffer, 2);
    if (Distance == -1)
        DistanceBase = n;
    Distance = n - DistanceBase;
    Cadence = static_cast<std::uint32_t>(digit(4, true) + digit(5, true) * 10 + digit(5, false) * 100);
    OutOfRange = payload(buffer, 6) != 0;
}

// The keep-alive leaves with the next console packet; the tick only prepares it.
void lumo_ANT::KeepAliveTimerTick()
{
    lumo_Channel* console = ChannelRecord(ConsoleChannel);
    if (console == nullptr) {
        KeepAliveTimer.setEnabled(false); // no console described: nothing to keep alive
        return;
    }
    if (console->DeviceNumber == 0)
        return;
    if (!UseConsoleChannel) {
        KeepAliveTimer.setEnabled(false);
        return;
    }
    console->TxData = { console::CmdKeepAlive, 0, 0, 0, 0, 0, 0, 0 };
}

} // namespace caltrix::ant
