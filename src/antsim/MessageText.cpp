#include "antsim/MessageText.h"

#include <cstdio>
#include <map>

namespace caltrix::antsim {

namespace {
namespace msg = antproto::msg;

const char* messageName(std::uint8_t id)
{
    static const std::map<std::uint8_t, const char*> names {
        { msg::ChannelResponse, "ChannelResponse" }, { msg::UnassignChannel, "UnassignChannel" },
        { msg::AssignChannel, "AssignChannel" },     { msg::ChannelPeriod, "ChannelPeriod" },
        { msg::SearchTimeout, "SearchTimeout" },     { msg::RfFrequency, "RfFrequency" },
        { msg::NetworkKey, "NetworkKey" },           { msg::ResetSystem, "ResetSystem" },
        { msg::OpenChannel, "OpenChannel" },         { msg::CloseChannel, "CloseChannel" },
        { msg::RequestMessage, "RequestMessage" },   { msg::BroadcastData, "BroadcastData" },
        { msg::AcknowledgedData, "AcknowledgedData" }, { msg::BurstData, "BurstData" },
        { msg::ChannelId, "ChannelId" },             { msg::ChannelStatus, "ChannelStatus" },
        { msg::Capabilities, "Capabilities" },       { msg::TxPower, "TxPower" },
        { msg::AddChannelIdToList, "AddChannelIdToList" }, { msg::ConfigIdList, "ConfigIdList" },
        { msg::LowPrioritySearchTimeout, "LowPrioritySearchTimeout" }, { msg::Startup, "Startup" },
        { msg::SerialError, "SerialError" },
    };
    const auto it = names.find(id);
    return it != names.end() ? it->second : nullptr;
}

const char* eventName(std::uint8_t code)
{
    static const std::map<std::uint8_t, const char*> names {
        { 0x01, "SearchTimeout" },   { 0x02, "RxFailed" },         { 0x03, "Tx" },
        { 0x04, "TransferRxFailed" }, { 0x05, "TransferTxCompleted" }, { 0x06, "TransferTxFailed" },
        { 0x07, "ChannelClosed" },   { 0x08, "RxFailGoToSearch" }, { 0x09, "ChannelCollision" },
    };
    const auto it = names.find(code);
    return it != names.end() ? it->second : "event";
}

std::string hex(std::uint8_t b)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}
} // namespace

std::string describe(const antproto::AntMessage& m)
{
    if (m.id == msg::ChannelResponse && m.at(1) == msg::RfEvent)
        return "ChannelEvent ch " + std::to_string(m.at(0)) + ": " + eventName(m.at(2));
    if (m.id == msg::ChannelResponse) {
        const char* answered = messageName(m.at(1));
        return "ChannelResponse ch " + std::to_string(m.at(0)) + ": " + (answered ? answered : hex(m.at(1)))
            + (m.at(2) == 0 ? " ok" : " failed 0x" + hex(m.at(2)));
    }
    const char* name = messageName(m.id);
    std::string text = name ? name : "Message 0x" + hex(m.id);
    text += " [";
    for (std::size_t i = 0; i < m.length; ++i)
        text += (i ? " " : "") + hex(m.payload[i]);
    return text + "]";
}

} // namespace caltrix::antsim
