#include "platform/GuardedCall.h"

#include "platform/Desktop.h"

#include <QString>

#include <cstdio>
#include <stdexcept>

namespace caltrix::platform {

namespace {

// The error's own message, or a sentence naming the callback for an exception of no known type.
QString messageOf(std::exception_ptr error, const char* where)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred while %1.").arg(QString::fromUtf8(where));
    }
}

void toStandardError(const QString& message, const char* where) noexcept
{
    std::fprintf(stderr, "Caltrix: stopped an error while %s: %s\n", where, qUtf8Printable(message));
    std::fflush(stderr);
}

} // namespace

void reportEscaped(std::exception_ptr error, Escaped escaped, const char* where) noexcept
{
    try {
        const QString message = messageOf(std::move(error), where);
        if (escaped == Escaped::Stopped) {
            toStandardError(message, where);
            return;
        }
        try {
            showUnhandledError(std::runtime_error(message.toStdString()));
        } catch (...) {
            // The box itself failed: the error still must not be lost.
            toStandardError(message, where);
        }
    } catch (...) {
        std::fputs("Caltrix: an error could not be reported\n", stderr);
    }
}

} // namespace caltrix::platform
