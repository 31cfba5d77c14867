#pragma once

#include <QString>

#include <cstdint>

namespace caltrix::hive {

// The numbers that the settings hold as decimal text.

// A whole decimal number, optionally signed, within 32 bits; nothing else (no blanks, no hex).
// Throws platform::ConvertError "'<text>' is not a valid integer value".
std::int32_t textToInt(const QString& text);

// A decimal number with the user's decimal separator (platform::decimalSeparator()) and an
// optional exponent; blanks around it are allowed, thousands separators are not. Throws
// platform::ConvertError "'<text>' is not a valid floating point value", also for a number too
// large to hold.
long double textToFloat(const QString& text);

} // namespace caltrix::hive
