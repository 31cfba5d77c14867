#include "devicebase/Helpers.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace caltrix::devicebase {

void WaitProcessingMessages(std::int32_t Milliseconds)
{
    WaitProcessingMessagesUntil(Milliseconds, nullptr);
}

bool WaitProcessingMessagesUntil(std::int32_t Milliseconds, const std::function<bool()>& done)
{
    platform::Clock& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    if (done && done())
        return true;
    for (;;) {
        platform::processPendingMessages();
        if (done && done())
            return true;
        const std::uint32_t now = clock.tickCount();
        const std::uint32_t passed = now - start;
        if (std::int64_t { passed } >= Milliseconds
            || static_cast<std::int32_t>(now) < static_cast<std::int32_t>(start))
            return false;
        std::uint32_t remaining = static_cast<std::uint32_t>(Milliseconds) - passed;
        // Wake at the signed boundary too, where the wait ends early.
        if (static_cast<std::int32_t>(now) >= 0)
            remaining = std::min(remaining, 0x80000000u - now);
        clock.waitForEvents(remaining);
    }
}

std::int32_t IntPower(std::int32_t Base, std::uint16_t Exponent)
{
    std::uint32_t result = 1; // unsigned, so that overflow wraps instead of being undefined
    for (std::uint16_t i = 0; i < Exponent; ++i)
        result *= static_cast<std::uint32_t>(Base);
    return static_cast<std::int32_t>(result);
}

std::int32_t PowerOfTen(std::uint16_t Digits) { return IntPower(10, Digits); }

bool IsNearZero(long double X) { return X >= -ZeroEpsilon && X <= ZeroEpsilon; }

long double RoundToDigits(std::int32_t Digits, long double X)
{
    const long double p = PowerOfTen(static_cast<std::uint16_t>(Digits & 0xFFFF));
    const long double half = X >= 0 ? 0.5L : -0.5L;
    const long double r = std::trunc(X * p + half) / p;
    return IsNearZero(r) ? 0.0L : r;
}

QString GetDelimitedField(const QString& S, QChar Delimiter, std::int32_t Index)
{
    QString field;
    std::int32_t seen = 0;
    for (qsizetype i = 0; i < S.size() && seen <= Index; ++i) {
        if (S.at(i) == Delimiter)
            ++seen;
        else if (seen == Index)
            field += S.at(i);
    }
    return field;
}

void CutDelimitedField(QString& S, QChar Delimiter, QString& Field)
{
    const qsizetype at = S.indexOf(Delimiter);
    if (at < 0) {
        Field = S;
        S.clear();
        return;
    }
    Field = S.left(at);
    S.remove(0, at + 1);
}

std::int32_t CountDelimitedFields(const QString& S, QChar Delimiter)
{
    QString rest = S;
    QString field;
    std::int32_t count = 0;
    while (!rest.isEmpty()) {
        CutDelimitedField(rest, Delimiter, field);
        ++count;
    }
    return count;
}

} // namespace caltrix::devicebase
