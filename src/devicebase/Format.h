#pragma once

#include <QString>

#include <cstdint>
#include <initializer_list>
#include <variant>

namespace caltrix::devicebase {

// One argument of Format: a whole number, a floating-point number or a text.
class FormatArg {
public:
    template <typename T>
        requires std::is_integral_v<T>
    FormatArg(T v)
        : value_(static_cast<std::int64_t>(v))
    {
    }
    FormatArg(double v)
        : value_(v)
    {
    }
    FormatArg(long double v)
        : value_(static_cast<double>(v))
    {
    }
    FormatArg(const QString& v)
        : value_(v)
    {
    }
    FormatArg(const char* v)
        : value_(QString::fromUtf8(v))
    {
    }

    const std::variant<std::int64_t, double, QString>& value() const { return value_; }

private:
    std::variant<std::int64_t, double, QString> value_;
};

// printf-like formatting with the system's conventions for its messages and log lines:
//   %d %u      decimal; a precision pads with zeros ("%.2d" -> 07)
//   %x %X      hexadecimal, always upper-case digits; "%.2X" pads to two digits; a negative
//              32-bit value prints as its two's complement (FFFFFFFF)
//   %f         fixed point, two decimals unless a precision is given ("%2.1f"), with the user's
//              decimal separator
//   %s         text;  %% a percent sign
// A width right-aligns with blanks ("-" aligns left). Every other character is copied.
// Throws platform::Error when the pattern and the arguments do not fit together.
QString Format(const char* pattern, std::initializer_list<FormatArg> args);

} // namespace caltrix::devicebase
