#pragma once

#include <cstdint>

// The radio devices the trainer component listens to, as the channel plan lays out their channels
// and as the simulated world transmits them, and the pages and commands of the trainer's and the
// console's own protocols (payload byte 0).
namespace caltrix::antproto::profile {

inline constexpr std::uint8_t PublicNetwork = 0;  // standard sensors, opened with key A
inline constexpr std::uint8_t TrainerNetwork = 1; // the trainer and its console, opened with key B

inline constexpr std::uint8_t SensorRf = 57;  // MHz above 2400: the standard sensors' frequency
inline constexpr std::uint8_t TrainerRf = 71; // the native trainer's default frequency
inline constexpr std::uint8_t ConsoleRf = 70; // the console's default frequency

// How a receiving channel finds one kind of device. Periods are in 1/32768 s; transmission type
// 0 matches any.
struct DeviceProfile {
    std::uint8_t network;
    std::uint16_t period;
    std::uint8_t deviceType;
    std::uint8_t transmissionType;
    std::uint8_t rfFrequency;
};

inline constexpr DeviceProfile HeartRateBelt { PublicNetwork, 8070, 120, 0, SensorRf };       // about 4.06 messages/s
inline constexpr DeviceProfile NativeTrainer { TrainerNetwork, 31814, 19, 1, TrainerRf };     // about 1.03/s
inline constexpr DeviceProfile SpeedCadenceSensor { PublicNetwork, 8086, 121, 0, SensorRf };  // about 4.05/s
inline constexpr DeviceProfile CompactTrainer { PublicNetwork, 16172, 121, 1, SensorRf };     // about 2.03/s
inline constexpr DeviceProfile Console { TrainerNetwork, 16150, 18, 1, ConsoleRf };           // about 2.03/s

// The transmission type the simulated devices send; a wildcard search (0) finds it too.
inline constexpr std::uint8_t TransmittedType = 1;

// Native trainer protocol. The trainer's pages:
namespace trainer {
inline constexpr std::uint8_t PageMemory = 0x02;      // six memory values
inline constexpr std::uint8_t PageDistance = 0x07;    // 24-bit distance
inline constexpr std::uint8_t PageSingleValue = 0x11; // one value byte whose meaning is not known
inline constexpr std::uint8_t PageAck = 0xFF;         // code of the command acknowledged
inline constexpr std::uint8_t PageNack = 0xFE;        // code of the command refused
// The commands sent to it:
inline constexpr std::uint8_t CmdResistance = 0x01;
inline constexpr std::uint8_t CmdMemoryWrite = 0x03;
inline constexpr std::uint8_t CmdCodeOnly = 0x04;       // the code alone; its meaning is not known
inline constexpr std::uint8_t CmdDistanceRequest = 0x07;
inline constexpr std::uint8_t CmdThreeByteValue = 0x08; // a 24-bit value; its meaning is not known
} // namespace trainer

// The console's pages and the commands it acknowledges.
namespace console {
inline constexpr std::uint8_t PageMemory = 0x02;
inline constexpr std::uint8_t PageKeys = 0x05;
inline constexpr std::uint8_t PageAck = 0xFF;
inline constexpr std::uint8_t PageNack = 0xFE;
inline constexpr std::uint8_t CmdAcknowledgedOnly = 0x08; // acknowledged, never sent by the link
inline constexpr std::uint8_t CmdSwitch = 0x09;
inline constexpr std::uint8_t CmdKeepAlive = 0x0A;
} // namespace console

} // namespace caltrix::antproto::profile
