#pragma once

#include "antproto/AntMessage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace caltrix::antproto {

// Turns a byte stream from a stick into messages: frames may be split across calls or packed
// together, and garbage (noise, a frame with a bad checksum or an impossible length) is skipped by
// dropping one byte and looking for the next sync byte, so a length byte that happens to be 0xA4
// never loses the real frame behind it. Pure: no I/O, no threads; one instance per stream.
class FrameDecoder {
public:
    // Feeds bytes; calls `onMessage(const AntMessage&)` for each complete, valid frame in order.
    template <typename OnMessage>
    void feed(std::span<const std::uint8_t> bytes, OnMessage&& onMessage)
    {
        for (auto b : bytes)
            push(b, onMessage);
    }

    // Bytes thrown away so far while resynchronising (for tests and diagnostics).
    std::uint64_t droppedBytes() const { return dropped_; }

private:
    template <typename OnMessage>
    void push(std::uint8_t b, OnMessage& onMessage)
    {
        if (size_ == 0 && b != SyncByte) {
            ++dropped_;
            return;
        }
        buffer_[size_++] = b;
        sum_ ^= b;
        if (size_ == 2 && b > MaxPayloadSize) {
            resync(onMessage);
            return;
        }
        if (size_ < FrameOverhead || size_ < buffer_[1] + FrameOverhead)
            return;
        if (sum_ != 0) { // the XOR over a whole valid frame, checksum included, is 0
            resync(onMessage);
            return;
        }
        const AntMessage message(buffer_[2], std::span<const std::uint8_t>(buffer_.data() + 3, buffer_[1]));
        size_ = 0;
        sum_ = 0;
        onMessage(message);
    }

    // Drops the sync byte of a bad frame and scans the bytes after it again.
    template <typename OnMessage>
    void resync(OnMessage& onMessage)
    {
        std::array<std::uint8_t, MaxFrameSize> rest;
        const std::size_t restSize = size_ - 1;
        std::copy_n(buffer_.begin() + 1, restSize, rest.begin());
        size_ = 0;
        sum_ = 0;
        ++dropped_;
        for (std::size_t i = 0; i < restSize; ++i)
            push(rest[i], onMessage);
    }

    std::array<std::uint8_t, MaxFrameSize> buffer_ {};
    std::size_t size_ = 0;
    std::uint8_t sum_ = 0; // XOR of the buffered bytes
    std::uint64_t dropped_ = 0;
};

} // namespace caltrix::antproto
