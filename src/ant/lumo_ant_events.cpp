// Channel events and the link's supervision of its channels: reopening after search timeouts,
// declaring the heart-rate belt or the trainer lost, the transfer and go-to-search bookkeeping, and
// the common steps of every received packet.

#include "ant/AntLogTexts.h"
#include "ant/lumo_ant_class.h"

namespace caltrix::ant {

using devicebase::Format;

void lumo_ANT::HandleChannelEvent(std::uint8_t Channel, std::uint8_t Event)
{
    const std::uint8_t ch = Channel;
    lumo_Channel* rec = ChannelRecord(ch);
    // The radio names the channel: one we never described, or beyond the retry table, is not ours.
    if (rec == nullptr || ch >= SearchRetries.size()) {
        log(text::IgnoredEvent, { Event, ch });
        return;
    }

    switch (Event) {
    case EVENT_RX_SEARCH_TIMEOUT:
        searchTimedOut(ch, rec);
        break;
    case EVENT_RX_FAIL:
        if (trafficLogPasses(ch))
            log(text::RxFail, { rec->RfFrequency, static_cast<double>(RxFailRun), ch });
        ++RxFailTotal;
        RxFailRun += 1.0F;
        break;
    case EVENT_TX:
        if (TxEnabled)
            commandStep(ch, *rec);
        if (ch == ConsoleChannel)
            log(text::KeepAliveSent);
        if (RawMemo != nullptr && trafficLogPasses(ch))
            AppendLog(RawMemo, radioLine(text::TxHead, ch, rec->TxData, rec->RfFrequency, 0));
        break;
    case EVENT_TRANSFER_TX_COMPLETED:
        log(text::TransferCompleted);
        transferEnded(ch, *rec, true);
        break;
    case EVENT_TRANSFER_TX_FAILED:
        transferEnded(ch, *rec, false);
        break;
    case EVENT_CHANNEL_CLOSED:
        if (ch < closeConfirmed_.size())
            closeConfirmed_[ch] = true;
        log(text::ChannelClosed, { ch });
        break;
    case EVENT_RX_FAIL_GO_TO_SEARCH:
        RxFailRun = 0;
        if (TransferSeen != 0) {
            TransferSeen = 0;
            log(text::Interference);
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
        log(text::CmdReopenChannel, { ch });
        return;
    }
    log(text::Interference);
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
    QString last;
    if (trafficLogPasses(ch)) {
        if (LogMemo != nullptr)
            log(Format(text::RecvAckHead, { ch }) + hexFields(std::span(rec.RxBuffer).first<8>())
                + text::RecvAckTail);
        last = Format(text::TransferOnChannel, { completed ? text::TransferCompleted : text::TransferFailed, ch });
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
        AppendLog(RawMemo, radioLine(text::RawRxHead, ch, std::span(rx).first<8>(), rec.RfFrequency, TxCount));
    if (rec.DeviceNumber == 0) {
        // Until the channel-ID answer names the device, every packet asks for it again.
        library_.ANT_RequestMessage(ch, MESG_CHANNEL_ID_ID);
        log(text::RequestChannelId);
    }
    ++RxCount;
    RxFailRun = 0;
    // The summary shows the packet as it arrived; only composed when it will be written.
    QString summary;
    if (LogMemo != nullptr && eventLogPasses(ch))
        summary = radioLine(text::RecvHead, ch, payloadOf(rx), rec.RfFrequency, RxCount);
    packetStep(ch, rec);
    if (eventLogPasses(ch) && !summary.isNull())
        log(summary);
    if (TxEnabled)
        replyStep(ch, rec);
}

} // namespace caltrix::ant
