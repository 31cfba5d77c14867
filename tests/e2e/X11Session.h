#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

namespace caltrix::e2e {

// A bound for a step of a failing test, never reached when it passes.
constexpr int PatienceMs = 40'000;

// Waits until `done` holds, checking again after each short pause in which this process handles
// its events, for at most `boundMs`.
bool waitUntil(const std::function<bool()>& done, int boundMs = PatienceMs);

// A real X server without a screen (Xvfb) on a free display number, and what a person does on
// it: finds a window by its name, clicks with the real pointer, looks at the screen. The server
// ends with the object.
class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool running() const { return !display_.isEmpty(); }
    const QString& display() const { return display_; }
    // The environment of a program started on this display (Qt's X11 platform).
    QProcessEnvironment environment() const;

    // The screen area of caltrix's visible window whose name matches the regular expression
    // `name`, once there is one (none after `boundMs`).
    std::optional<QRect> waitForWindow(const QString& name, int boundMs = PatienceMs) const;
    // The same window by its X id, its screen area, and true once that very window is closed
    // (another of the same name may have taken its place).
    std::optional<QString> waitForWindowId(const QString& name, int boundMs = PatienceMs) const;
    QRect area(const QString& window) const;
    bool waitUntilClosed(const QString& window, int boundMs = PatienceMs) const;
    // True once no visible window matches `name`.
    bool waitUntilGone(const QString& name, int boundMs = PatienceMs) const;
    // Moves the pointer to `at` (screen coordinates) and clicks the left button there.
    void click(const QPoint& at) const;
    // Presses and releases a key (an X key name: "t", "Menu") in the window with the focus.
    void pressKey(const QString& key) const;
    // What the screen shows in `area`.
    QImage grab(const QRect& area) const;

private:
    QStringList visibleWindows(const QString& name) const;
    QString run(const QString& program, const QStringList& arguments) const;

    QProcess server_;
    QString display_;
};

// The environment of a program under test, before its display is named: the system's, at
// Qt's own scale and in the same locale everywhere.
QProcessEnvironment programEnvironment();
// Ends a server that the test started: asks it to end, then makes it.
void endServer(QProcess& server, int boundMs);

// Reads lines from a running program's standard output until one equals `line`; false when the
// program ends or `boundMs` passes first. Lines before it are consumed.
bool waitForLine(QProcess& program, const QString& line, int boundMs = PatienceMs);

} // namespace caltrix::e2e
