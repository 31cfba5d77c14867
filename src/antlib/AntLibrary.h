#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace caltrix::antlib {

// Sizes of the buffers a caller registers with the library.
inline constexpr std::size_t ResponseBufferSize = 10;   // payload of an answer message
inline constexpr std::size_t ReceiveBufferSize = 9;     // channel byte + 8 data bytes
inline constexpr std::size_t DataPayloadSize = 8;       // broadcast / acknowledged data
inline constexpr std::size_t NetworkKeySize = 8;

using ResponseBuffer = std::span<std::uint8_t, ResponseBufferSize>;
using ReceiveBuffer = std::span<std::uint8_t, ReceiveBufferSize>;
using DataPayload = std::span<const std::uint8_t, DataPayloadSize>;
using NetworkKey = std::span<const std::uint8_t, NetworkKeySize>;

// Called for every message from the stick that is not channel traffic: channel responses and RF
// events that the stick reports as message 0x40 (messageId 0x40; buffer: channel, answered id,
// code), the channel-ID answer (0x51; buffer: channel, device number LE16, device type,
// transmission type), capabilities (0x54), startup (0x6F) and the like. The response buffer holds
// the message payload (cut to its size, unused bytes zero) just before the call.
// Main thread only. The return value carries nothing; return 0.
using ResponseCallback = std::function<std::uint8_t(std::uint8_t channel, std::uint8_t messageId)>;

// Called for every event and every data packet on a channel: RF events with their event code
// (1 search timeout, 2 receive failed, 3 transmit slot, 5 transfer completed, 6 transfer failed,
// 7 channel closed, 8 receive failed and searching again, ...), received broadcast data as
// antproto::code::BroadcastReceived and acknowledged data as AcknowledgedReceived. The channel's
// receive buffer holds the channel in byte 0 and the 8 payload bytes in bytes 1-8 just before the
// call; for an RF event it holds the event message's payload as the stick sent it (channel, 0x01,
// event code). Main thread only. Return 0.
using ChannelEventCallback = std::function<std::uint8_t(std::uint8_t channel, std::uint8_t event)>;

// The ANT stick library: the operations of the vendor's ANT_DLL, over a stick reached through a
// transport chosen at ANT_Init (USB, serial tty or the built-in virtual stick, see AntConfig.h).
//
// Threads: every operation is called on the main thread, and both callbacks run on the main thread
// only, while the main thread processes pending messages (platform::processPendingMessages, the Qt
// event loop, or a Clock wait). A callback may call the operations again (e.g. send a reply).
// Answers are never delivered inside the operation that caused them.
//
// Results: operations that send a command return false when there is no open stick, the argument is
// out of range, or the stick is gone; callers may ignore it. None of them throws.
//
// A stick that disappears (unplugged, tty closed) or hangs (sends nothing, not even the answer to a
// question the library asks it after 2 s of silence, see StallWatch) is reported once on standard
// error and kept as lastError(); from then on nothing more arrives from it, every open channel reports a search timeout followed by channel
// closed a moment later (a quarter of a second), and every later ANT_OpenChannel ends the same way,
// so that a caller's loss detection sees the channels as silent instead of a frozen last value.
class AntLibrary {
public:
    virtual ~AntLibrary() = default;

    // Opens stick number `deviceNumber` (0..7) of the configured transport at `baudRate` (serial
    // sticks only; the configuration may name another). Returns true when the stick opened.
    // A stick already open is closed first. The last two arguments are unused (pass 0).
    virtual bool ANT_Init(std::uint8_t deviceNumber, std::uint32_t baudRate, std::uint8_t, std::uint8_t) = 0;

    // Registers the response callback and its buffer. The buffer must outlive the registration
    // (until it is replaced or ANT_Close). An empty callback unregisters.
    virtual void ANT_AssignResponseFunction(ResponseCallback callback, ResponseBuffer buffer) = 0;

    // Registers the event callback and receive buffer of one channel (0..7), replacing any earlier
    // registration of that channel. The buffer must outlive the registration.
    virtual void ANT_AssignChannelEventFunction(std::uint8_t channel, ChannelEventCallback callback,
                                                ReceiveBuffer buffer) = 0;

    // Sends the reset command; the stick answers with a startup message (0x6F).
    virtual bool ANT_ResetSystem() = 0;

    // Closes the stick: stops its reader, releases the device. Messages not yet delivered are
    // dropped. Registered callbacks are forgotten. Safe to call when nothing is open. Never throws.
    virtual void ANT_Close() = 0;

    // Configuration commands; each is answered by a response event (0x40) naming the command
    // (0x46, 0x42, 0x51, 0x43, 0x60, 0x44, 0x45, 0x4B) with result 0 or an error code.
    virtual bool ANT_SetNetworkKey(std::uint8_t network, NetworkKey key) = 0;
    virtual bool ANT_AssignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network) = 0;
    virtual bool ANT_SetChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                                  std::uint8_t transmissionType) = 0;
    virtual bool ANT_SetChannelPeriod(std::uint8_t channel, std::uint16_t period) = 0;
    virtual bool ANT_SetChannelTxPower(std::uint8_t channel, std::uint8_t power) = 0;
    virtual bool ANT_SetChannelSearchTimeout(std::uint8_t channel, std::uint8_t timeout) = 0;
    virtual bool ANT_SetChannelRFFreq(std::uint8_t channel, std::uint8_t rfFrequency) = 0;
    virtual bool ANT_OpenChannel(std::uint8_t channel) = 0;

    // The inclusion/exclusion list of a receiving channel, on sticks whose capabilities (0x54,
    // advanced options bit 7) announce it; set while the channel is assigned and not open.
    // ANT_AddChannelID puts an ID at `listIndex` (0..3); ANT_ConfigList makes the first `listSize`
    // (0..4) entries count, excluding those IDs from the search (`exclude`) or including only them.
    // Answered by a response event (0x40) naming 0x59 / 0x5A; a stick without the list answers
    // 0x28 (invalid message). False without sending for an index or size out of range.
    virtual bool ANT_AddChannelID(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                                  std::uint8_t transmissionType, std::uint8_t listIndex) = 0;
    virtual bool ANT_ConfigList(std::uint8_t channel, std::uint8_t listSize, bool exclude) = 0;

    // Asks the stick for a message (0x51 channel ID, 0x54 capabilities, ...); it arrives at the
    // response callback with that message id.
    virtual bool ANT_RequestMessage(std::uint8_t channel, std::uint8_t messageId) = 0;

    // Queues 8 bytes for the device in the channel's next slot. Acknowledged data ends in channel
    // event 5 (transfer completed) or 6 (transfer failed).
    virtual bool ANT_SendBroadcastData(std::uint8_t channel, DataPayload data) = 0;
    virtual bool ANT_SendAcknowledgedData(std::uint8_t channel, DataPayload data) = 0;

    // Closes a channel (answered by 0x4C, then channel event 7) and unassigns it (answered by 0x41).
    virtual bool ANT_CloseChannel(std::uint8_t channel) = 0;
    virtual bool ANT_UnAssignChannel(std::uint8_t channel) = 0;

    // Not of the vendor's library: the last transport error, as one line that says what to do (a
    // stick the user may not open, a stick in use by another program, a serial port that cannot be
    // set up, a stick that stopped answering); empty while none happened, e.g. when there simply
    // was no stick at the numbers tried. Kept until another error replaces it, for the program's
    // message box: a program started from a desktop menu has no terminal to read standard error on.
    virtual std::string lastError() const { return {}; }
};

} // namespace caltrix::antlib
