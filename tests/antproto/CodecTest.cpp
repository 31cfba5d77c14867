#include "antproto/Commands.h"
#include "antproto/FrameDecoder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace caltrix::antproto;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::array<std::uint8_t, 8> KeyB { 0x43, 0x61, 0x6C, 0x74, 0x72, 0x69, 0x78, 0x31 };
constexpr std::array<std::uint8_t, 8> Resistance120 { 0x01, 0x78, 0, 0, 0, 0, 0, 0 };
constexpr std::array<std::uint8_t, 8> MemoryWrite { 0x03, 1, 2, 3, 4, 5, 6, 7 };

// One golden byte string per message: checked against the encoder and fed to the decoder.
struct Golden {
    const char* name;
    AntMessage message;
    Bytes frame;
};

const std::vector<Golden>& goldens()
{
    static const std::vector<Golden> table {
        { "reset", command::resetSystem(), { 0xA4, 0x01, 0x4A, 0x00, 0xEF } },
        { "network key", command::setNetworkKey(1, KeyB),
          { 0xA4, 0x09, 0x46, 0x01, 0x43, 0x61, 0x6C, 0x74, 0x72, 0x69, 0x78, 0x31, 0x82 } },
        { "assign", command::assignChannel(1, 0, 1), { 0xA4, 0x03, 0x42, 0x01, 0x00, 0x01, 0xE5 } },
        { "unassign", command::unassignChannel(3), { 0xA4, 0x01, 0x41, 0x03, 0xE7 } },
        // The running XOR passes through 0xFF here: a checksum taken modulo 0xFF would differ.
        { "channel id", command::setChannelId(6, 12345, 121, 1),
          { 0xA4, 0x05, 0x51, 0x06, 0x39, 0x30, 0x79, 0x01, 0x87 } },
        { "period", command::setChannelPeriod(1, 31814), { 0xA4, 0x03, 0x43, 0x01, 0x46, 0x7C, 0xDF } },
        { "tx power", command::setTxPower(1, 3), { 0xA4, 0x02, 0x60, 0x01, 0x03, 0xC4 } },
        { "search timeout", command::setSearchTimeout(0, 255), { 0xA4, 0x02, 0x44, 0x00, 0xFF, 0x1D } },
        { "rf frequency", command::setRfFrequency(1, 71), { 0xA4, 0x02, 0x45, 0x01, 0x47, 0xA5 } },
        { "open", command::openChannel(2), { 0xA4, 0x01, 0x4B, 0x02, 0xEC } },
        { "close", command::closeChannel(2), { 0xA4, 0x01, 0x4C, 0x02, 0xEB } },
        { "request channel id", command::requestMessage(1, 0x51), { 0xA4, 0x02, 0x4D, 0x01, 0x51, 0xBB } },
        { "add channel id to list", command::addChannelIdToList(4, 12345, 19, 1, 2),
          { 0xA4, 0x06, 0x59, 0x04, 0x39, 0x30, 0x13, 0x01, 0x02, 0xE6 } },
        { "configure exclusion list", command::configIdList(4, 2, true),
          { 0xA4, 0x03, 0x5A, 0x04, 0x02, 0x01, 0xFA } },
        { "broadcast", command::broadcastData(1, Resistance120),
          { 0xA4, 0x09, 0x4E, 0x01, 0x01, 0x78, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9B } },
        { "acknowledged", command::acknowledgedData(1, MemoryWrite),
          { 0xA4, 0x09, 0x4F, 0x01, 0x03, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xE0 } },
        { "response", command::channelResponse(1, 0x46, 0), { 0xA4, 0x03, 0x40, 0x01, 0x46, 0x00, 0xA0 } },
        { "rf event", command::channelEvent(1, 1), { 0xA4, 0x03, 0x40, 0x01, 0x01, 0x01, 0xE6 } },
        { "channel id answer", command::channelIdAnswer(2, 38940, 120, 0x11),
          { 0xA4, 0x05, 0x51, 0x02, 0x1C, 0x98, 0x78, 0x11, 0x1F } },
        { "startup", command::startup(0x20), { 0xA4, 0x01, 0x6F, 0x20, 0xEA } },
        { "capabilities", AntMessage(0x54, { 8, 3, 0, 0xBA, 0x36, 0 }),
          { 0xA4, 0x06, 0x54, 0x08, 0x03, 0x00, 0xBA, 0x36, 0x00, 0x71 } },
    };
    return table;
}

std::vector<AntMessage> decode(FrameDecoder& decoder, const Bytes& bytes)
{
    std::vector<AntMessage> out;
    decoder.feed(bytes, [&](const AntMessage& m) { out.push_back(m); });
    return out;
}

std::vector<AntMessage> decode(const Bytes& bytes)
{
    FrameDecoder decoder;
    return decode(decoder, bytes);
}

Bytes frameOf(const AntMessage& m)
{
    const auto f = encodeFrame(m);
    return { f.bytes().begin(), f.bytes().end() };
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

TEST(Codec, EncodesAndDecodesEveryGoldenFrame)
{
    for (const auto& g : goldens()) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(frameOf(g.message), g.frame);
        EXPECT_EQ(decode(g.frame), std::vector<AntMessage> { g.message });
    }
}

TEST(Codec, EveryTruncatedPrefixGivesNothingAndTheRestCompletesIt)
{
    for (const auto& g : goldens()) {
        for (std::size_t cut = 0; cut < g.frame.size(); ++cut) {
            SCOPED_TRACE(std::string(g.name) + " cut at " + std::to_string(cut));
            FrameDecoder decoder;
            EXPECT_TRUE(decode(decoder, Bytes(g.frame.begin(), g.frame.begin() + static_cast<long>(cut))).empty());
            EXPECT_EQ(decode(decoder, Bytes(g.frame.begin() + static_cast<long>(cut), g.frame.end())),
                      std::vector<AntMessage> { g.message });
        }
    }
}

TEST(Codec, PackedFramesSplitAtEveryPositionComeOutInOrder)
{
    Bytes stream;
    std::vector<AntMessage> expected;
    for (const auto& g : goldens()) {
        stream.insert(stream.end(), g.frame.begin(), g.frame.end());
        expected.push_back(g.message);
    }
    EXPECT_EQ(decode(stream), expected);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameDecoder decoder;
        auto got = decode(decoder, Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)));
        auto rest = decode(decoder, Bytes(stream.begin() + static_cast<long>(cut), stream.end()));
        got.insert(got.end(), rest.begin(), rest.end());
        ASSERT_EQ(got, expected) << "cut at " << cut;
    }
}

TEST(Codec, SkipsGarbageBeforeBetweenAndInsideFrames)
{
    const Bytes reset = frameOf(command::resetSystem());
    const Bytes event = frameOf(command::channelEvent(1, 2));
    Bytes corrupted = event;
    corrupted[4] ^= 0x10; // a flipped bit inside: the checksum no longer matches
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<AntMessage> expected;
    } cases[] = {
        { "noise before", concat({ { 0x00, 0x13, 0xFF, 0x55 }, reset }), { command::resetSystem() } },
        { "noise between", concat({ reset, { 0x01, 0x02 }, event }), { command::resetSystem(), command::channelEvent(1, 2) } },
        { "stray sync between", concat({ reset, { 0xA4 }, event }), { command::resetSystem(), command::channelEvent(1, 2) } },
        { "bad checksum then a good frame", concat({ corrupted, reset }), { command::resetSystem() } },
        { "frame cut short by the next one", concat({ Bytes(event.begin(), event.begin() + 4), reset }),
          { command::resetSystem() } },
        { "impossible length", concat({ { 0xA4, 0x30, 0x4E }, reset }), { command::resetSystem() } },
        // A length byte of 0xA4 is itself a sync byte; the real frame right behind must survive.
        { "length byte equal to sync", concat({ { 0xA4 }, reset }), { command::resetSystem() } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.stream), c.expected);
    }
}

TEST(Codec, CountsDroppedBytesAndNeverReadsPastAShortPayload)
{
    FrameDecoder decoder;
    decode(decoder, { 0x00, 0x11, 0x22 });
    EXPECT_EQ(decoder.droppedBytes(), 3u);
    const auto messages = decode(frameOf(AntMessage(0x40, { 1 })));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].at(2), 0); // beyond the payload reads as 0
}

TEST(Codec, CarriesExtendedFramesUpToFortyOnePayloadBytes)
{
    Bytes payload(MaxPayloadSize);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    const AntMessage longest(0x4E, payload);
    EXPECT_EQ(decode(frameOf(longest)), std::vector<AntMessage> { longest });
    EXPECT_THROW(AntMessage(0x4E, Bytes(MaxPayloadSize + 1)), std::length_error);
}
