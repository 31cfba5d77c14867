#pragma once

#include <cstdint>

// The ANT message ids and channel event codes the link acts on, named as the public ANT message
// protocol names them.
namespace caltrix::ant {

// Message ids: commands to the stick and the answers the response callback receives.
inline constexpr std::uint8_t MESG_EVENT_ID = 0x01; // "answered id" of an RF event
inline constexpr std::uint8_t MESG_RESPONSE_EVENT_ID = 0x40;
inline constexpr std::uint8_t MESG_UNASSIGN_CHANNEL_ID = 0x41;
inline constexpr std::uint8_t MESG_ASSIGN_CHANNEL_ID = 0x42;
inline constexpr std::uint8_t MESG_CHANNEL_MESG_PERIOD_ID = 0x43;
inline constexpr std::uint8_t MESG_CHANNEL_SEARCH_TIMEOUT_ID = 0x44;
inline constexpr std::uint8_t MESG_CHANNEL_RADIO_FREQ_ID = 0x45;
inline constexpr std::uint8_t MESG_NETWORK_KEY_ID = 0x46;
inline constexpr std::uint8_t MESG_OPEN_CHANNEL_ID = 0x4B;
inline constexpr std::uint8_t MESG_CLOSE_CHANNEL_ID = 0x4C;
inline constexpr std::uint8_t MESG_REQUEST_ID = 0x4D;
inline constexpr std::uint8_t MESG_BROADCAST_DATA_ID = 0x4E;
inline constexpr std::uint8_t MESG_ACKNOWLEDGED_DATA_ID = 0x4F;
inline constexpr std::uint8_t MESG_BURST_DATA_ID = 0x50;
inline constexpr std::uint8_t MESG_CHANNEL_ID_ID = 0x51;
inline constexpr std::uint8_t MESG_CAPABILITIES_ID = 0x54;
inline constexpr std::uint8_t MESG_RADIO_TX_POWER_ID = 0x60;
// Answered ids the link passes over without a line, as it does broadcast and burst data.
inline constexpr std::uint8_t MESG_QUIET_ANSWER_ID = 0x04;

// Results in byte 2 of a response event.
inline constexpr std::uint8_t RESPONSE_NO_ERROR = 0x00;

// Channel event codes as the channel-event callback receives them.
inline constexpr std::uint8_t EVENT_RX_SEARCH_TIMEOUT = 0x01;
inline constexpr std::uint8_t EVENT_RX_FAIL = 0x02;
inline constexpr std::uint8_t EVENT_TX = 0x03;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_COMPLETED = 0x05;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_FAILED = 0x06;
inline constexpr std::uint8_t EVENT_CHANNEL_CLOSED = 0x07;
inline constexpr std::uint8_t EVENT_RX_FAIL_GO_TO_SEARCH = 0x08;
inline constexpr std::uint8_t EVENT_RX_BROADCAST = 0x9A;
inline constexpr std::uint8_t EVENT_RX_ACKNOWLEDGED = 0x9B;

// The baud rate the device component opens a serial stick at.
inline constexpr std::uint16_t ANT_BAUD_RATE = 57600;

// Channel roles, fixed by channel number.
inline constexpr std::uint8_t HeartChannel = 0;
inline constexpr std::uint8_t TrainerChannel = 1;
inline constexpr std::uint8_t SensorChannel = 2;
inline constexpr std::uint8_t ConsoleChannel = 3;

// Receiver modes: the ordinal of the device component's receiver type.
inline constexpr std::uint32_t ModeTrainerNetwork = 0; // native trainer protocol
inline constexpr std::uint32_t ModeSpeedSensor = 1;    // compact trainer protocol
inline constexpr std::uint32_t ModeSpeedSensorPassive = 2;

// Trainer pages and commands (payload byte 0).
inline constexpr std::uint8_t TrainerPageEprom = 0x02;
inline constexpr std::uint8_t TrainerPageDistance = 0x07;
inline constexpr std::uint8_t TrainerPage17 = 0x11;
inline constexpr std::uint8_t PageAck = 0xFF;
inline constexpr std::uint8_t PageNack = 0xFE;
inline constexpr std::uint8_t TrainerCmdResistance = 0x01;
inline constexpr std::uint8_t TrainerCmdEpromWrite = 0x03;
inline constexpr std::uint8_t TrainerCmd4 = 0x04;
inline constexpr std::uint8_t TrainerCmdDistanceRequest = 0x07;
inline constexpr std::uint8_t TrainerCmd8 = 0x08;

// Console pages and commands.
inline constexpr std::uint8_t ConsolePageEprom = 0x02;
inline constexpr std::uint8_t ConsolePageKeys = 0x05;
inline constexpr std::uint8_t ConsoleCmdSwitch = 0x09;
inline constexpr std::uint8_t ConsoleCmdKeepAlive = 0x0A;

} // namespace caltrix::ant
