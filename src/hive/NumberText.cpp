#include "hive/NumberText.h"

#include "platform/Error.h"
#include "platform/Platform.h"

#include <charconv>
#include <string>

namespace caltrix::hive {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Moves `i` past a run of digits; true when there was at least one.
bool skipDigits(const QString& text, qsizetype& i)
{
    const qsizetype start = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i > start;
}

} // namespace

std::int32_t textToInt(const QString& text)
{
    const auto fail = [&text]() -> platform::ConvertError {
        return platform::ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    if (!skipDigits(text, i) || i != text.size())
        throw fail();
    std::int64_t value = 0;
    for (qsizetype j = digitsStart; j < text.size(); ++j) {
        value = value * 10 + (text[j].unicode() - u'0');
        if (value > 2147483648LL)
            throw fail();
    }
    if (text[0] == u'-')
        value = -value;
    if (value > 2147483647LL)
        throw fail();
    return static_cast<std::int32_t>(value);
}

long double textToFloat(const QString& text)
{
    const auto fail = [&text]() -> platform::ConvertError {
        return platform::ConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    };
    const QChar separator = platform::decimalSeparator();
    const QString trimmed = text.trimmed();
    std::string ascii; // the number in the C form that from_chars reads
    qsizetype i = 0;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) {
        if (trimmed[i] == u'-')
            ascii += '-';
        ++i;
    }
    qsizetype start = i;
    bool digits = skipDigits(trimmed, i);
    ascii += trimmed.mid(start, i - start).toStdString();
    if (i < trimmed.size() && trimmed[i] == separator) {
        ascii += '.';
        start = ++i;
        digits = skipDigits(trimmed, i) || digits;
        ascii += trimmed.mid(start, i - start).toStdString();
    }
    if (!digits)
        throw fail();
    if (i < trimmed.size() && (trimmed[i] == u'e' || trimmed[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-'))
            ascii += static_cast<char>(trimmed[i++].unicode());
        start = i;
        if (!skipDigits(trimmed, i))
            throw fail();
        ascii += trimmed.mid(start, i - start).toStdString();
    }
    if (i != trimmed.size())
        throw fail();
    long double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size())
        throw fail();
    return value;
}

} // namespace caltrix::hive
