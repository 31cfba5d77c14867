#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace caltrix::devicebase {

// Half-width of the band that IsNearZero treats as zero.
constexpr long double ZeroEpsilon = 1e-8L;

// Handles window messages (timer ticks of worker threads, user input, scheduled work) until at
// least `Milliseconds` have passed on the platform clock, blocking between them rather than
// spinning. Returns early when the 32-bit tick count wraps or crosses the signed boundary.
// 0 (or less) handles what is pending once. Callers must expect their own handlers to re-enter.
void WaitProcessingMessages(std::int32_t Milliseconds);

// The same wait, ended as soon as `done` reports true: it is asked before the first pass and after
// every pass of message processing. Returns whether `done` ended it. A caller that polls a flag
// set by message handlers gets it at once instead of at the next poll.
bool WaitProcessingMessagesUntil(std::int32_t Milliseconds, const std::function<bool()>& done);

// Base to the power Exponent in wrapping 32-bit arithmetic.
std::int32_t IntPower(std::int32_t Base, std::uint16_t Exponent);
// 10 to the power Digits; meant for 0 to 9 digits.
std::int32_t PowerOfTen(std::uint16_t Digits);

// True within ZeroEpsilon of zero, both ends included.
bool IsNearZero(long double X);

// Rounds half away from zero to `Digits` decimals (0 to 9); results within ZeroEpsilon of zero,
// a negative zero included, come back as exactly +0.
long double RoundToDigits(std::int32_t Digits, long double X);

// Field `Index` (from 0) of `S` split at `Delimiter`; empty for an index past the last field or
// a negative one. Nothing is trimmed.
QString GetDelimitedField(const QString& S, QChar Delimiter, std::int32_t Index);

// Moves the first field of `S` to `Field` and removes it and its delimiter from `S`; without a
// delimiter the whole text moves to `Field` and `S` becomes empty.
void CutDelimitedField(QString& S, QChar Delimiter, QString& Field);

// Number of fields: empty text has none, a trailing delimiter adds none, a leading one does.
std::int32_t CountDelimitedFields(const QString& S, QChar Delimiter);

} // namespace caltrix::devicebase
