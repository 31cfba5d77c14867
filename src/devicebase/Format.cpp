#include "devicebase/Format.h"

#include "platform/Error.h"
#include "platform/Platform.h"

#include <QLocale>

namespace caltrix::devicebase {

namespace {

struct Directive {
    bool left = false;
    int width = -1;
    int precision = -1;
    char conversion = 0;
};

[[noreturn]] void invalid(const char* pattern)
{
    throw platform::Error(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(QString::fromUtf8(pattern)));
}

int readNumber(const char*& p)
{
    int n = 0;
    while (*p >= '0' && *p <= '9')
        n = n * 10 + (*p++ - '0');
    return n;
}

QString zeroPadded(QString digits, int precision)
{
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);
    if (precision > digits.size())
        digits.prepend(QString(precision - digits.size(), QLatin1Char('0')));
    return negative ? QLatin1Char('-') + digits : digits;
}

QString convert(const Directive& directive, const FormatArg& arg, const char* pattern)
{
    const auto& v = arg.value();
    switch (directive.conversion) {
    case 'd':
    case 'u': {
        const auto* n = std::get_if<std::int64_t>(&v);
        if (!n)
            invalid(pattern);
        return zeroPadded(QString::number(*n), directive.precision);
    }
    case 'x':
    case 'X': {
        const auto* n = std::get_if<std::int64_t>(&v);
        if (!n)
            invalid(pattern);
        // Negative 32-bit values print as the 32-bit pattern, as a 32-bit integer argument would.
        const std::uint64_t bits = (*n < 0 && *n >= INT32_MIN) ? static_cast<std::uint32_t>(*n) : static_cast<std::uint64_t>(*n);
        return zeroPadded(QString::number(bits, 16).toUpper(), directive.precision);
    }
    case 'f': {
        double d = 0;
        if (const auto* n = std::get_if<std::int64_t>(&v))
            d = static_cast<double>(*n);
        else if (const auto* f = std::get_if<double>(&v))
            d = *f;
        else
            invalid(pattern);
        QString text = QString::number(d, 'f', directive.precision < 0 ? 2 : directive.precision);
        return text.replace(QLatin1Char('.'), platform::decimalSeparator());
    }
    case 's': {
        const auto* s = std::get_if<QString>(&v);
        if (!s)
            invalid(pattern);
        return directive.precision >= 0 ? s->left(directive.precision) : *s;
    }
    default:
        invalid(pattern);
    }
}

} // namespace

QString Format(const char* pattern, std::initializer_list<FormatArg> args)
{
    QString out;
    auto next = args.begin();
    const char* p = pattern;
    while (*p) {
        const char* literal = p;
        while (*p && *p != '%')
            ++p;
        out += QString::fromUtf8(literal, p - literal);
        if (!*p)
            break;
        ++p;
        if (*p == '%') {
            out += QLatin1Char('%');
            ++p;
            continue;
        }
        Directive directive;
        if (*p == '-') {
            directive.left = true;
            ++p;
        }
        if (*p >= '0' && *p <= '9')
            directive.width = readNumber(p);
        if (*p == '.') {
            ++p;
            directive.precision = readNumber(p);
        }
        directive.conversion = *p;
        if (!*p || next == args.end())
            invalid(pattern);
        ++p;
        const QString field = convert(directive, *next++, pattern);
        if (directive.width > field.size())
            out += directive.left ? field.leftJustified(directive.width) : field.rightJustified(directive.width);
        else
            out += field;
    }
    return out;
}

} // namespace caltrix::devicebase
