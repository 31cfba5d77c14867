#pragma once

#include "antproto/AntMessage.h"

#include <cstdint>
#include <span>

// The messages the host sends to a stick, one builder per command. Multi-byte numbers go out
// little-endian (low byte first).
namespace caltrix::antproto::command {

AntMessage resetSystem();
// [0] network, [1..8] key.
AntMessage setNetworkKey(std::uint8_t network, std::span<const std::uint8_t, 8> key);
// [0] channel, [1] channel type (0 receive), [2] network.
AntMessage assignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network);
AntMessage unassignChannel(std::uint8_t channel);
// [0] channel, [1..2] device number LE, [3] device type, [4] transmission type.
AntMessage setChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                        std::uint8_t transmissionType);
// [0] channel, [1..2] period LE in 1/32768 s.
AntMessage setChannelPeriod(std::uint8_t channel, std::uint16_t period);
AntMessage setTxPower(std::uint8_t channel, std::uint8_t power);
// [0] channel, [1] timeout in 2.5 s steps (0xFF never).
AntMessage setSearchTimeout(std::uint8_t channel, std::uint8_t timeout);
// [0] channel, [1] MHz above 2400.
AntMessage setRfFrequency(std::uint8_t channel, std::uint8_t rfFrequency);
AntMessage openChannel(std::uint8_t channel);
AntMessage closeChannel(std::uint8_t channel);
// [0] channel, [1] id of the message asked for.
AntMessage requestMessage(std::uint8_t channel, std::uint8_t messageId);
// The inclusion/exclusion list, set while the channel is assigned and closed.
// [0] channel, [1..2] device number LE, [3] device type, [4] transmission type, [5] list index 0-3.
AntMessage addChannelIdToList(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                              std::uint8_t transmissionType, std::uint8_t listIndex);
// [0] channel, [1] list size 0-4, [2] 1 = exclude the listed IDs, 0 = include only them.
AntMessage configIdList(std::uint8_t channel, std::uint8_t listSize, bool exclude);
// [0] channel, [1..8] data (also acknowledgedData).
AntMessage broadcastData(std::uint8_t channel, std::span<const std::uint8_t, 8> data);
AntMessage acknowledgedData(std::uint8_t channel, std::span<const std::uint8_t, 8> data);

// What a stick sends back.
// [0] channel, [1] answered id (0x01 for an RF event), [2] result or event code.
AntMessage channelResponse(std::uint8_t channel, std::uint8_t answeredId, std::uint8_t result);
AntMessage channelEvent(std::uint8_t channel, std::uint8_t eventCode);
// [0] channel, [1..2] device number LE, [3] device type, [4] transmission type.
AntMessage channelIdAnswer(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                           std::uint8_t transmissionType);
AntMessage startup(std::uint8_t reason);

} // namespace caltrix::antproto::command
