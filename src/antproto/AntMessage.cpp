#include "antproto/AntMessage.h"

#include <algorithm>
#include <stdexcept>

namespace caltrix::antproto {

AntMessage::AntMessage(std::uint8_t messageId, std::initializer_list<std::uint8_t> bytes)
    : AntMessage(messageId, std::span<const std::uint8_t>(bytes.begin(), bytes.size()))
{
}

AntMessage::AntMessage(std::uint8_t messageId, std::span<const std::uint8_t> bytes)
    : id(messageId)
{
    if (bytes.size() > MaxPayloadSize)
        throw std::length_error("ANT message payload longer than 41 bytes");
    length = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), payload.begin());
}

bool AntMessage::operator==(const AntMessage& other) const
{
    return id == other.id && std::ranges::equal(bytes(), other.bytes());
}

std::uint8_t checksum(std::span<const std::uint8_t> bytes)
{
    std::uint8_t sum = 0;
    for (auto b : bytes)
        sum ^= b;
    return sum;
}

Frame encodeFrame(const AntMessage& message)
{
    Frame frame;
    frame.data[0] = SyncByte;
    frame.data[1] = message.length;
    frame.data[2] = message.id;
    std::copy_n(message.payload.begin(), message.length, frame.data.begin() + 3);
    frame.size = message.length + FrameOverhead;
    frame.data[frame.size - 1] = checksum({ frame.data.data(), frame.size - 1 });
    return frame;
}

} // namespace caltrix::antproto
