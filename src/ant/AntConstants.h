#pragma once

#include "antproto/AntMessage.h"
#include "antproto/DeviceProfiles.h"

#include <cstdint>

// The ANT message ids and channel event codes the link acts on, under the names the public ANT
// message protocol gives them: aliases of the protocol layer's definitions.
namespace caltrix::ant {

// Message ids: commands to the stick and the answers the response callback receives.
inline constexpr std::uint8_t MESG_EVENT_ID = antproto::msg::RfEvent; // "answered id" of an RF event
inline constexpr std::uint8_t MESG_RESPONSE_EVENT_ID = antproto::msg::ChannelResponse;
inline constexpr std::uint8_t MESG_UNASSIGN_CHANNEL_ID = antproto::msg::UnassignChannel;
inline constexpr std::uint8_t MESG_ASSIGN_CHANNEL_ID = antproto::msg::AssignChannel;
inline constexpr std::uint8_t MESG_CHANNEL_MESG_PERIOD_ID = antproto::msg::ChannelPeriod;
inline constexpr std::uint8_t MESG_CHANNEL_SEARCH_TIMEOUT_ID = antproto::msg::SearchTimeout;
inline constexpr std::uint8_t MESG_CHANNEL_RADIO_FREQ_ID = antproto::msg::RfFrequency;
inline constexpr std::uint8_t MESG_NETWORK_KEY_ID = antproto::msg::NetworkKey;
inline constexpr std::uint8_t MESG_OPEN_CHANNEL_ID = antproto::msg::OpenChannel;
inline constexpr std::uint8_t MESG_CLOSE_CHANNEL_ID = antproto::msg::CloseChannel;
inline constexpr std::uint8_t MESG_REQUEST_ID = antproto::msg::RequestMessage;
inline constexpr std::uint8_t MESG_BROADCAST_DATA_ID = antproto::msg::BroadcastData;
inline constexpr std::uint8_t MESG_ACKNOWLEDGED_DATA_ID = antproto::msg::AcknowledgedData;
inline constexpr std::uint8_t MESG_BURST_DATA_ID = antproto::msg::BurstData;
inline constexpr std::uint8_t MESG_CHANNEL_ID_ID = antproto::msg::ChannelId;
inline constexpr std::uint8_t MESG_CAPABILITIES_ID = antproto::msg::Capabilities;
inline constexpr std::uint8_t MESG_RADIO_TX_POWER_ID = antproto::msg::TxPower;
// Answered ids the link passes over without a line, as it does broadcast and burst data.
inline constexpr std::uint8_t MESG_QUIET_ANSWER_ID = 0x04;

// Results in byte 2 of a response event.
inline constexpr std::uint8_t RESPONSE_NO_ERROR = antproto::code::NoError;

// Channel event codes as the channel-event callback receives them.
inline constexpr std::uint8_t EVENT_RX_SEARCH_TIMEOUT = antproto::code::SearchTimeout;
inline constexpr std::uint8_t EVENT_RX_FAIL = antproto::code::RxFailed;
inline constexpr std::uint8_t EVENT_TX = antproto::code::Tx;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_COMPLETED = antproto::code::TransferTxCompleted;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_FAILED = antproto::code::TransferTxFailed;
inline constexpr std::uint8_t EVENT_CHANNEL_CLOSED = antproto::code::ChannelClosed;
inline constexpr std::uint8_t EVENT_RX_FAIL_GO_TO_SEARCH = antproto::code::RxFailGoToSearch;
inline constexpr std::uint8_t EVENT_RX_BROADCAST = antproto::code::BroadcastReceived;
inline constexpr std::uint8_t EVENT_RX_ACKNOWLEDGED = antproto::code::AcknowledgedReceived;

// The baud rate the device component opens a serial stick at.
inline constexpr std::uint16_t ANT_BAUD_RATE = 57600;
// The stick numbers tried in turn when a stick is opened: 0 to 7.
inline constexpr std::uint8_t StickNumbers = 8;
// How long a stick is left after its reset before it is configured.
inline constexpr std::uint32_t StickResetSleepMs = 600;

// Channel roles, fixed by channel number.
inline constexpr std::uint8_t HeartChannel = 0;
inline constexpr std::uint8_t TrainerChannel = 1;
inline constexpr std::uint8_t SensorChannel = 2;
inline constexpr std::uint8_t ConsoleChannel = 3;

// Receiver modes: the ordinal of the device component's receiver type.
inline constexpr std::uint32_t ModeTrainerNetwork = 0; // native trainer protocol
inline constexpr std::uint32_t ModeSpeedSensor = 1;    // compact trainer protocol
inline constexpr std::uint32_t ModeSpeedSensorPassive = 2;

} // namespace caltrix::ant
