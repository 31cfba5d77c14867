#include "ant/AntLogTexts.h"

#include "devicebase/Format.h"

#include <string>

namespace caltrix::ant {

using devicebase::Format;

QString hexFields(std::span<const std::uint8_t, 8> bytes, const char* field, const char* separator)
{
    std::string pattern = field;
    for (std::size_t i = 1; i < bytes.size(); ++i)
        (pattern += separator) += field;
    const auto& b = bytes;
    return Format(pattern.c_str(), { b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7] });
}

QString radioLine(const char* head, std::uint8_t ch, std::span<const std::uint8_t, 8> bytes, std::uint8_t rfFrequency,
                  std::int64_t count)
{
    return Format(head, { ch }) + hexFields(bytes) + Format(text::RadioTail, { rfFrequency, count });
}

} // namespace caltrix::ant
