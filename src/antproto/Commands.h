#pragma once

#include "antproto/AntMessage.h"

#include <cstdint>
#include <span>

// The messages the host sends to a stick, one builder per command. Multi-byte numbers go out
// little-endian (low byte first).
namespace caltrix::antproto::command {

AntMessage resetSystem();
AntMessage setNetworkKey(std::uint8_t network, std::span<const std::uint8_t, 8> key);
AntMessage assignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network);
AntMessage unassignChannel(std::uint8_t channel);
AntMessage setChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                        std::uint8_t transmissionType);
AntMessage setChannelPeriod(std::uint8_t channel, std::uint16_t period);
AntMessage setTxPower(std::uint8_t channel, std::uint8_t power);
AntMessage setSearchTimeout(std::uint8_t channel, std::uint8_t timeout);
AntMessage setRfFrequency(std::uint8_t channel, std::uint8_t rfFrequency);
AntMessage openChannel(std::uint8_t channel);
AntMessage closeChannel(std::uint8_t channel);
AntMessage requestMessage(std::uint8_t channel, std::uint8_t messageId);
AntMessage broadcastData(std::uint8_t channel, std::span<const std::uint8_t, 8> data);
AntMessage acknowledgedData(std::uint8_t channel, std::span<const std::uint8_t, 8> data);

// What a stick sends back.
AntMessage channelResponse(std::uint8_t channel, std::uint8_t answeredId, std::uint8_t result);
AntMessage channelEvent(std::uint8_t channel, std::uint8_t eventCode);
AntMessage channelIdAnswer(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                           std::uint8_t transmissionType);
AntMessage startup(std::uint8_t reason);

} // namespace caltrix::antproto::command
