#include "platform/Platform.h"

#include <QCoreApplication>

namespace caltrix::platform {

namespace {
// Set only from the main thread (program start and tests); read by any thread through the
// objects that captured it at construction.
Clock* currentClock = nullptr;
Desktop* currentDesktop = nullptr;
} // namespace

Clock& clock()
{
    if (!currentClock) {
        static RealClock real;
        currentClock = &real;
    }
    return *currentClock;
}

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
