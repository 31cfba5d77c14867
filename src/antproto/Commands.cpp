#include "antproto/Commands.h"

namespace caltrix::antproto::command {

namespace {
std::uint8_t low(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t high(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

AntMessage dataMessage(std::uint8_t id, std::uint8_t channel, std::span<const std::uint8_t, 8> data)
{
    return { id, { channel, data[0], data[1], data[2], data[3], data[4], data[5], data[6], data[7] } };
}
} // namespace

AntMessage resetSystem() { return { msg::ResetSystem, { 0 } }; }

AntMessage setNetworkKey(std::uint8_t network, std::span<const std::uint8_t, 8> key)
{
    return { msg::NetworkKey, { network, key[0], key[1], key[2], key[3], key[4], key[5], key[6], key[7] } };
}

AntMessage assignChannel(std::uint8_t channel, std::uint8_t channelType, std::uint8_t network)
{
    return { msg::AssignChannel, { channel, channelType, network } };
}

AntMessage unassignChannel(std::uint8_t channel) { return { msg::UnassignChannel, { channel } }; }

AntMessage setChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                        std::uint8_t transmissionType)
{
    return { msg::ChannelId, { channel, low(deviceNumber), high(deviceNumber), deviceType, transmissionType } };
}

AntMessage setChannelPeriod(std::uint8_t channel, std::uint16_t period)
{
    return { msg::ChannelPeriod, { channel, low(period), high(period) } };
}

AntMessage setTxPower(std::uint8_t channel, std::uint8_t power) { return { msg::TxPower, { channel, power } }; }

AntMessage setSearchTimeout(std::uint8_t channel, std::uint8_t timeout)
{
    return { msg::SearchTimeout, { channel, timeout } };
}

AntMessage setRfFrequency(std::uint8_t channel, std::uint8_t rfFrequency)
{
    return { msg::RfFrequency, { channel, rfFrequency } };
}

AntMessage openChannel(std::uint8_t channel) { return { msg::OpenChannel, { channel } }; }
AntMessage closeChannel(std::uint8_t channel) { return { msg::CloseChannel, { channel } }; }

AntMessage requestMessage(std::uint8_t channel, std::uint8_t messageId)
{
    return { msg::RequestMessage, { channel, messageId } };
}

AntMessage addChannelIdToList(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                              std::uint8_t transmissionType, std::uint8_t listIndex)
{
    return { msg::AddChannelIdToList,
             { channel, low(deviceNumber), high(deviceNumber), deviceType, transmissionType, listIndex } };
}

AntMessage configIdList(std::uint8_t channel, std::uint8_t listSize, bool exclude)
{
    return { msg::ConfigIdList, { channel, listSize, static_cast<std::uint8_t>(exclude ? 1 : 0) } };
}

AntMessage broadcastData(std::uint8_t channel, std::span<const std::uint8_t, 8> data)
{
    return dataMessage(msg::BroadcastData, channel, data);
}

AntMessage acknowledgedData(std::uint8_t channel, std::span<const std::uint8_t, 8> data)
{
    return dataMessage(msg::AcknowledgedData, channel, data);
}

AntMessage channelResponse(std::uint8_t channel, std::uint8_t answeredId, std::uint8_t result)
{
    return { msg::ChannelResponse, { channel, answeredId, result } };
}

AntMessage channelEvent(std::uint8_t channel, std::uint8_t eventCode)
{
    return channelResponse(channel, msg::RfEvent, eventCode);
}

AntMessage channelIdAnswer(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                           std::uint8_t transmissionType)
{
    return { msg::ChannelId, { channel, low(deviceNumber), high(deviceNumber), deviceType, transmissionType } };
}

AntMessage startup(std::uint8_t reason) { return { msg::Startup, { reason } }; }

} // namespace caltrix::antproto::command
