#include "platform/Platform.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace caltrix::platform {

void NameProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("caltrix"));
    QCoreApplication::setApplicationName(QStringLiteral("caltrix"));
}

namespace {
// Set only from the main thread (program start and tests); read by any thread through the
// objects that captured it at construction.
Clock* currentClock = nullptr;
Desktop* currentDesktop = nullptr;
} // namespace

namespace {
[[noreturn]] void failLoudly(const char* text)
{
    std::fprintf(stderr, "Caltrix: internal error: %s\n", text);
    std::abort();
}
} // namespace

Clock& clock()
{
    if (!currentClock)
        failLoudly("the clock was used before the program installed one (create a platform::ProgramClock right after "
                   "the application object, or a test's clock with platform::ScopedClock).");
    return *currentClock;
}

ProgramClock::ProgramClock()
{
    if (!QCoreApplication::instance())
        failLoudly("platform::ProgramClock was created before the application object; its worker threads could not "
                   "wake the event loop.");
    clock_ = std::make_unique<RealClock>();
    installed_ = std::make_unique<ScopedClock>(*clock_);
}

ProgramClock::~ProgramClock() = default;

Desktop& desktop()
{
    if (!currentDesktop) {
        static ConsoleDesktop console;
        currentDesktop = &console;
    }
    return *currentDesktop;
}

QChar decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

void processPendingMessages()
{
    Clock& c = clock();
    c.runDueWork();
    c.runMainRequests();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

ScopedClock::ScopedClock(Clock& clock)
    : previous_(currentClock)
{
    currentClock = &clock;
}

ScopedClock::~ScopedClock() { currentClock = previous_; }

ScopedDesktop::ScopedDesktop(Desktop& desktop)
    : previous_(currentDesktop)
{
    currentDesktop = &desktop;
}

ScopedDesktop::~ScopedDesktop() { currentDesktop = previous_; }

ScopedLocale::ScopedLocale(const QLocale& locale)
{
    QLocale::setDefault(locale);
}

ScopedLocale::~ScopedLocale() { QLocale::setDefault(previous_); }

} // namespace caltrix::platform
