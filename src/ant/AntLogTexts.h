#pragma once

#include <QString>

#include <cstdint>
#include <span>

// Every line the ANT link writes to its logs, as Format patterns or plain text.
//
// KEEP THESE TEXTS VERBATIM. Users' tools and our tests compare the lines byte for byte, so the
// oddities below are part of the format and must not be "corrected": "Removed from cose.", the
// "X" copied after a decimal result in `Fail(0x%.2dX)`, "SetChannelPeriod" in the transmit-power
// failure line, the search timeout always shown as 4, the literal `RxCount:0` of the Recv Ack line,
// the network key's lower-case `[%.2x]` directive, the spellings "Recieved" and "Paring", the
// Italian lines, the missing blank in "Ack - Channel Close%d" and the doubled blanks where they stand.
namespace caltrix::ant::text {

// ---- start-up, channel description and closing -------------------------------------------------
inline constexpr char NotConnected[] = "Not Connected %d";
inline constexpr char StickConnected[] = "Chiave connessa!";
inline constexpr char CmdReset[] = "Cmd - Reset";
inline constexpr char ChannelParameters[] = "Set channel parameter array [%d]";
inline constexpr char ChannelNotDescribed[] = "Channel %d was not described: not started";
inline constexpr char AssignEventFunction[] = "ANT_AssignChannelEventFunction(%d),@ChannelEvent0)";
// Followed by the key's eight bytes (KeyByteField, KeyByteSeparator) and KeyTail.
inline constexpr char CmdSetNetworkKey[] = "Cmd - SetNetworkKey(%d; ";
inline constexpr char KeyByteField[] = "[%.2x]";
inline constexpr char KeyByteSeparator[] = " ";
inline constexpr char KeyTail[] = ")";
inline constexpr char CmdCloseChannel[] = "Cmd - Close channel %d";
inline constexpr char CmdUnassignedChannel[] = "Cmd - Unassigned channel %d";
inline constexpr char CmdResetSystem[] = "Cmd - ResetSystem";
inline constexpr char CmdClose[] = "Cmd - Close";

// ---- the configuration chain: acknowledgement, failure (result, response byte 0), next command ----
// An acknowledgement may show the channel, its channel type and its network, in that order.
inline constexpr char IgnoredAnswer[] = "Ignored answer (0x%.2X) for channel %d, which was not described";
inline constexpr char AckNetworkKey[] = "Ack - SetNetworkKey";
inline constexpr char FailNetworkKey[] = "Fail(0x%.2dX) - NetworkKey";
inline constexpr char CmdAssignChannel[] = "Cmd - AssignChannel(%d; %d, %d)";
inline constexpr char AckAssignChannel[] = "Ack - AssignChannel(%d; %d; %d)";
inline constexpr char FailAssignChannel[] = "Fail(0x%.2dX) - AssignChannel(%.2d)";
inline constexpr char CmdSetChannelId[] = "Cmd - SetChannelId(%d; %d; %d; %d)";
inline constexpr char AckSetChannelId[] = "Ack - SetChannelID";
inline constexpr char FailSetChannelId[] = "Fail(0x%.2X) - SetChannelID(%.2d)";
inline constexpr char LearntDeviceNumber[] = "Ack - ANT_RequestMessage Device Number:%d Transmission Type:%d";
inline constexpr char CmdSetChannelPeriod[] = "Cmd - SetChannelPeriod(%d; %d)";
inline constexpr char AckSetChannelPeriod[] = "Ack - SetChannelPeriod";
inline constexpr char CmdSetTransmitPower[] = "Cmd - ANT_SetTransmitPower";
inline constexpr char AckSetTransmitPower[] = "Ack - ANT_SetTransmitPower";
inline constexpr char FailSetTransmitPower[] = "Fail(0x%.2dX) - SetChannelPeriod(%.2d)";
inline constexpr char CmdSetSearchTimeout[] = "Cmd - SetChannelSearchTimeout(%d: %d)";
inline constexpr char AckSetSearchTimeout[] = "Ack - SetChannelSearchTimeout";
inline constexpr char FailSetSearchTimeout[] = "Fail(0x%.2X) - SetChannelSearchTimeout(%.2d)";
inline constexpr char CmdSetRfFrequency[] = "Cmd - SetChannelRFFreq(%d; %d)";
inline constexpr char AckSetRfFrequency[] = "Ack - SetRFFreq";
inline constexpr char FailSetRfFrequency[] = "Fail(0x%.2dX) - SetRFFreq(%.2d)";
inline constexpr char CmdOpenChannel[] = "Cmd - OpenChannel %d";
inline constexpr char AckOpen[] = "Ack - Open %d";
inline constexpr char FailOpen[] = "Fail(0x%.2x) - Open(%.2d)";
inline constexpr char CmdRequestChannelId[] = "Cmd - ANT_RequestMessage(%d,MESG_CHANNEL_ID_ID)";
inline constexpr char AckClose[] = "Ack - Close";
inline constexpr char FailClose[] = "Fail(0x%.2x) - Close(%.2d)";
inline constexpr char AckUnassign[] = "Ack - UnassignChannel";
inline constexpr char FailUnassign[] = "Fail((0x%dX)) - UnassignChannel(%d)";
inline constexpr char AckOther[] = "Ack - MesgID:(0x%.2X) - Channel:(%.2d)";          // answered id, byte 0
inline constexpr char FailOther[] = "Fail(0x%.2X) - MesgID:(0x%.2X) - Channel:(%.2d)"; // result, id, byte 0

// ---- the channel-ID and capabilities answers ---------------------------------------------------
inline constexpr char IgnoredChannelId[] = "Ignored channel ID for channel %d, which was not described";
inline constexpr char PairingDone[] = "Paring done (%d). Device Number =  %d";
inline constexpr char Capabilities[] = "ANT Capabilities:  -Max Channel: %d  -Max Network: %d"
                                       "  -Standard Options: 0x%x  -Advanced Options: 0x%x  -Advanced Options 2: 0x%x";

// ---- channel events ----------------------------------------------------------------------------
inline constexpr char IgnoredEvent[] = "Ignored event %d on channel %d, which was not described";
inline constexpr char RxFail[] = "Rx Fail RF Freq:%d NoConnectCount:%f.0 Channel: %d";
inline constexpr char KeepAliveSent[] = "########## KAL SENT ########";
inline constexpr char TransferCompleted[] = "EVENT_TRANSFER_TX_COMPLETED";
inline constexpr char TransferFailed[] = "EVENT_TRANSFER_TX_FAILED";
inline constexpr char TransferOnChannel[] = "%s (%d)"; // one of the two above, the channel
inline constexpr char ChannelClosed[] = "Ack - Channel Close%d";
inline constexpr char Interference[] = "It should call \"HandleInterference\". Removed from cose.";
inline constexpr char CmdReopenChannel[] = "Cmd - OpenChannel(%d)";
inline constexpr char RequestChannelId[] = "ANT_RequestMessage -> channel event";

// ---- packets -----------------------------------------------------------------------------------
inline constexpr char ConsoleMemoryReceived[] = "********EPROM RECEIVED CONSOLE******";
inline constexpr char TrainerDistanceReceived[] = "Distance Recieved command (%d)";
inline constexpr char TrainerAck[] = "ACK(%d)-CMD(%d)";
inline constexpr char TrainerNack[] = "NACK!!(%d)-CMD(%d)";
inline constexpr char TrainerMemoryWrite[] = "########## RICHIESTA EPROM TRAINER SCRITTURA  ########";

// ---- traffic: a head naming the channel, eight bytes (ByteField, no separator), a tail ----------
inline constexpr char ByteField[] = "[%.2X]";
inline constexpr char RawRxHead[] = "Rx(%d): ";
inline constexpr char RecvHead[] = "Recv(%d): ";
inline constexpr char TxHead[] = "Tx(%d): ";
inline constexpr char RadioTail[] = " RF Freq:%d RxCount:%d"; // frequency, a count
inline constexpr char RecvAckHead[] = "Recv Ack(%d): ";
inline constexpr char RecvAckTail[] = " RxCount:0";
inline constexpr char KeepAliveTail[] = "  KAL continuo"; // after a Tx line
// The reply to a trainer packet: the channel twice, the bytes with a blank between fields.
inline constexpr char ReplyHead[] = "Tx(%d):(%d; ";
inline constexpr char ReplyByteSeparator[] = " ";
inline constexpr char ReplyTail[] = ")";

} // namespace caltrix::ant::text

namespace caltrix::ant {

// Eight bytes as Format gives them through `field` (one byte's directive, such as text::ByteField),
// joined by `separator`: "[05][01][FF]..." or, with a blank, "[05] [01] [FF] ...".
QString hexFields(std::span<const std::uint8_t, 8> bytes, const char* field = text::ByteField,
                  const char* separator = "");

// A traffic line: `head` with the channel, the eight bytes, then text::RadioTail with the channel's
// frequency and `count`.
QString radioLine(const char* head, std::uint8_t ch, std::span<const std::uint8_t, 8> bytes, std::uint8_t rfFrequency,
                  std::int64_t count);

// The reply to a trainer packet: text::ReplyHead with the channel twice, the eight bytes with a
// blank between fields, text::ReplyTail.
QString replyLine(std::uint8_t ch, std::span<const std::uint8_t, 8> bytes);

} // namespace caltrix::ant
