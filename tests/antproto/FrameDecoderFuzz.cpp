// Fuzz target: any byte stream from a stick, cut into pieces anywhere, decodes to the same messages
// as in one piece, each a valid frame that encodes back to itself.
#include "antproto/AntMessage.h"
#include "antproto/FrameDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace caltrix::antproto;

namespace {
std::vector<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> cuts)
{
    std::vector<std::vector<std::uint8_t>> frames;
    FrameDecoder decoder;
    auto keep = [&](const AntMessage& m) {
        const auto frame = encodeFrame(m);
        frames.emplace_back(frame.bytes().begin(), frame.bytes().end());
    };
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
        const std::size_t piece = cuts.empty() ? bytes.size() : 1 + cuts[i % cuts.size()] % 64;
        const std::size_t n = std::min(piece, bytes.size() - at);
        decoder.feed(bytes.subspan(at, n), keep);
        at += n;
    }
    return frames;
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "frame decoder fuzz: %s\n", what);
    std::abort();
}
} // namespace

// Input: one byte N, then N bytes of piece lengths, then the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> all(data, size);
    const std::size_t cutCount = std::min<std::size_t>(data[0], size - 1);
    const auto cuts = all.subspan(1, cutCount);
    const auto stream = all.subspan(1 + cutCount);
    const auto whole = decode(stream, {});
    if (decode(stream, cuts) != whole)
        fail("the pieces decode differently from the whole");
    for (const auto& frame : whole) {
        if (frame.size() > MaxFrameSize || frame[0] != SyncByte || frame[1] + FrameOverhead != frame.size())
            fail("a decoded message does not make a valid frame");
        if (decode(frame, {}) != std::vector<std::vector<std::uint8_t>> { frame })
            fail("a frame does not decode back to itself");
    }
    return 0;
}
