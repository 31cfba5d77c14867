#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace caltrix::antproto {

// A frame on the wire: SYNC LEN ID PAYLOAD[LEN] CHK, where CHK is the XOR of every byte before it,
// SYNC included, and LEN counts the payload bytes only.
inline constexpr std::uint8_t SyncByte = 0xA4;
inline constexpr std::size_t MaxPayloadSize = 41; // extended data messages
inline constexpr std::size_t FrameOverhead = 4;   // sync, length, id, checksum
inline constexpr std::size_t MaxFrameSize = MaxPayloadSize + FrameOverhead;

// Message ids of the serial protocol that this stack uses.
namespace msg {
inline constexpr std::uint8_t ChannelResponse = 0x40; // channel, answered id (0x01 = RF event), code
inline constexpr std::uint8_t UnassignChannel = 0x41;
inline constexpr std::uint8_t AssignChannel = 0x42;
inline constexpr std::uint8_t ChannelPeriod = 0x43;
inline constexpr std::uint8_t SearchTimeout = 0x44;
inline constexpr std::uint8_t RfFrequency = 0x45;
inline constexpr std::uint8_t NetworkKey = 0x46;
inline constexpr std::uint8_t ResetSystem = 0x4A;
inline constexpr std::uint8_t OpenChannel = 0x4B;
inline constexpr std::uint8_t CloseChannel = 0x4C;
inline constexpr std::uint8_t RequestMessage = 0x4D;
inline constexpr std::uint8_t BroadcastData = 0x4E;
inline constexpr std::uint8_t AcknowledgedData = 0x4F;
inline constexpr std::uint8_t BurstData = 0x50;
inline constexpr std::uint8_t ChannelId = 0x51;
inline constexpr std::uint8_t ChannelStatus = 0x52;
inline constexpr std::uint8_t Capabilities = 0x54;
inline constexpr std::uint8_t AddChannelIdToList = 0x59; // inclusion/exclusion list of a receiving channel
inline constexpr std::uint8_t ConfigIdList = 0x5A;
inline constexpr std::uint8_t Version = 0x3E;
inline constexpr std::uint8_t TxPower = 0x60;
inline constexpr std::uint8_t SerialNumber = 0x61;
inline constexpr std::uint8_t LowPrioritySearchTimeout = 0x63;
inline constexpr std::uint8_t Startup = 0x6F;
inline constexpr std::uint8_t SerialError = 0xAE;
inline constexpr std::uint8_t RfEvent = 0x01; // "answered id" of an RF event in a 0x40 message
} // namespace msg

// RF event codes and command results carried in byte 2 of a 0x40 message.
namespace code {
inline constexpr std::uint8_t NoError = 0x00;
inline constexpr std::uint8_t SearchTimeout = 0x01;
inline constexpr std::uint8_t RxFailed = 0x02;
inline constexpr std::uint8_t Tx = 0x03;
inline constexpr std::uint8_t TransferRxFailed = 0x04;
inline constexpr std::uint8_t TransferTxCompleted = 0x05;
inline constexpr std::uint8_t TransferTxFailed = 0x06;
inline constexpr std::uint8_t ChannelClosed = 0x07;
inline constexpr std::uint8_t RxFailGoToSearch = 0x08;
inline constexpr std::uint8_t ChannelInWrongState = 0x15;
inline constexpr std::uint8_t ChannelNotOpened = 0x16;
inline constexpr std::uint8_t ChannelIdNotSet = 0x18;
inline constexpr std::uint8_t CloseAllChannels = 0x19;
inline constexpr std::uint8_t TransferInProgress = 0x1F;
inline constexpr std::uint8_t MessageSizeExceedsLimit = 0x27;
inline constexpr std::uint8_t InvalidMessage = 0x28;
inline constexpr std::uint8_t InvalidNetworkNumber = 0x29;
// Not on the wire: the codes with which the stick library's channel-event callback reports
// received data, as the vendor library reports them.
inline constexpr std::uint8_t BroadcastReceived = 0x9A;
inline constexpr std::uint8_t AcknowledgedReceived = 0x9B;
} // namespace code

// The capabilities answer (0x54): [0] channels, [1] networks, [2] standard options, [3] advanced
// options, [4] advanced options 2, ...
namespace capability {
inline constexpr std::size_t MaxChannelsByte = 0;
inline constexpr std::size_t AdvancedOptionsByte = 3;
inline constexpr std::uint8_t IdListOption = 0x80; // in the advanced options: the stick has the ID list
} // namespace capability

// The inclusion/exclusion list of a receiving channel: up to this many IDs.
inline constexpr std::uint8_t IdListSize = 4;

// A channel's settings before any command changes them.
inline constexpr std::uint16_t DefaultChannelPeriod = 8192; // 1/32768 s, 4 messages/s
inline constexpr std::uint8_t DefaultRfFrequency = 66;      // MHz above 2400

// One message: its id and up to 41 payload bytes.
struct AntMessage {
    std::uint8_t id = 0;
    std::uint8_t length = 0;
    std::array<std::uint8_t, MaxPayloadSize> payload {};

    AntMessage() = default;
    AntMessage(std::uint8_t id, std::initializer_list<std::uint8_t> bytes);
    AntMessage(std::uint8_t id, std::span<const std::uint8_t> bytes);

    std::span<const std::uint8_t> bytes() const { return { payload.data(), length }; }
    // Payload byte `i`, or 0 beyond the payload: a short message from the radio never reads past it.
    std::uint8_t at(std::size_t i) const { return i < length ? payload[i] : 0; }
    bool operator==(const AntMessage& other) const;
};

// A frame ready to send.
struct Frame {
    std::array<std::uint8_t, MaxFrameSize> data {};
    std::size_t size = 0;
    std::span<const std::uint8_t> bytes() const { return { data.data(), size }; }
};

std::uint8_t checksum(std::span<const std::uint8_t> bytes);
Frame encodeFrame(const AntMessage& message);

} // namespace caltrix::antproto
