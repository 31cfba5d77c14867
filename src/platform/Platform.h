#pragma once

#include "platform/Clock.h"
#include "platform/Desktop.h"

#include <QLocale>
#include <QString>

#include <memory>

namespace caltrix::platform {

// The platform services in use by the whole program: the clock the program installed (a
// ProgramClock, or a test's clock through ScopedClock), and the console desktop unless the
// windowed program installs the Qt desktop with ScopedDesktop. A test hands in others for its own
// duration with the Scoped... classes below.
// These are the only replaceable globals of the program: the time source and the desktop are
// process-wide by nature, as the operating system's own are.
// clock() without an installed clock is a programming error: it says so and ends the program,
// since a clock made behind the program's back would not wake its event loop.
Clock& clock();

// Names the program for Qt, the same for every program of Caltrix: organisation and application
// "caltrix", so that QSettings and QStandardPaths find Caltrix's own settings file
// (caltrix/caltrix.conf in the configuration folder) wherever they are asked. Needs the
// application object; the title a window shows is ApplicationTitle.
void NameProgram();
Desktop& desktop();

// The user's decimal separator, from the default QLocale (the system's unless a test set another).
QChar decimalSeparator();

// Runs everything pending on the main thread once, without blocking: due scheduled work, the
// requests of worker threads and the Qt events.
void processPendingMessages();

class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

// The clock of a running program: a RealClock installed for the object's life. Create it right
// after the Qt application object, which it needs to wake the event loop from worker threads;
// created without one, it says so and ends the program. Objects that keep the clock (timers, the
// ANT library, the device) must be gone before it.
class ProgramClock {
public:
    ProgramClock();
    ~ProgramClock();
    ProgramClock(const ProgramClock&) = delete;
    ProgramClock& operator=(const ProgramClock&) = delete;

    RealClock& clock() { return *clock_; }

private:
    std::unique_ptr<RealClock> clock_;
    std::unique_ptr<ScopedClock> installed_;
};

class ScopedDesktop {
public:
    explicit ScopedDesktop(Desktop& desktop);
    ~ScopedDesktop();
    ScopedDesktop(const ScopedDesktop&) = delete;
    ScopedDesktop& operator=(const ScopedDesktop&) = delete;

private:
    Desktop* previous_;
};

// Sets the default locale (and so the decimal separator) for the scope, e.g. QLocale::German
// for a comma.
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& locale);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    QLocale previous_;
};

} // namespace caltrix::platform
