#include "ant/AntLogTexts.h"

#include "devicebase/Format.h"

#include <string>

namespace caltrix::ant {

using devicebase::Format;

namespace {

// Eight `field`s joined by `separator`: the pattern of the eight bytes.
std::string fieldsPattern(const char* field, const char* separator)
{
    std::string pattern = field;
    for (int i = 1; i < 8; ++i)
        (pattern += separator) += field;
    return pattern;
}

} // namespace

QString hexFields(std::span<const std::uint8_t, 8> bytes, const char* field, const char* separator)
{
    const auto& b = bytes;
    return Format(fieldsPattern(field, separator).c_str(), { b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7] });
}

// These lines are written for every packet: one Format call over a pattern whose buffer is reused.
QString radioLine(const char* head, std::uint8_t ch, std::span<const std::uint8_t, 8> bytes, std::uint8_t rfFrequency,
                  std::int64_t count)
{
    static const std::string fields = fieldsPattern(text::ByteField, "");
    thread_local std::string pattern;
    pattern.assign(head).append(fields).append(text::RadioTail);
    const auto& b = bytes;
    return Format(pattern.c_str(), { ch, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], rfFrequency, count });
}

QString replyLine(std::uint8_t ch, std::span<const std::uint8_t, 8> bytes)
{
    static const std::string pattern =
        text::ReplyHead + fieldsPattern(text::ByteField, text::ReplyByteSeparator) + text::ReplyTail;
    const auto& b = bytes;
    return Format(pattern.c_str(), { ch, ch, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7] });
}

} // namespace caltrix::ant
