#pragma once

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace caltrix::e2e {

// A Wayland compositor without a screen (Weston's headless backend) in a runtime folder of its
// own, with a keyboard that the test types on (the module in WestonTestSeat.cpp). Weston ends
// with the object.
class WestonSession {
public:
    WestonSession();
    ~WestonSession();
    WestonSession(const WestonSession&) = delete;
    WestonSession& operator=(const WestonSession&) = delete;

    // What this machine lacks to run the session (Weston, Qt's Wayland plugin, the test seat), or
    // nothing.
    static QString missingPart();

    bool running() const { return running_; }
    // The environment of a program started in this session (Qt's Wayland platform).
    QProcessEnvironment environment() const;
    // True once the keyboard focus is on a window whose title matches the regular expression
    // `title`. Weston gives the focus to a window as it maps it: once the program has drawn it.
    bool waitForFocus(const QString& title, int boundMs);
    // The titles of the windows that had the keyboard focus so far, in order.
    const QStringList& focusHistory() const { return focusHistory_; }
    // Presses and releases the key of the Linux input event code `code` (KEY_2, ...).
    void pressKey(int code);
    // Asks the window with the keyboard focus to close, as a window's close button does.
    void closeFocusedWindow();
    // Where the window with the keyboard focus is on the screen; none when no window has it.
    std::optional<QPoint> focusedWindowPlace();
    // Moves the pointer to `at` on the screen; presses and releases the left button.
    void movePointer(const QPoint& at);
    void pressButton();
    void releaseButton();
    // True while the compositor holds the pointer (moving a window), rather than the windows.
    bool pointerHeld();
    // What Weston and the seat reported, for a failing test.
    QString log();

private:
    void readReports();
    void send(const QByteArray& command);
    // Sends `command` and gives the seat's answer that starts with `answer`; none when it says
    // something else or nothing in time.
    std::optional<QString> ask(const QByteArray& command, const QString& answer);

    QTemporaryDir runtime_;
    QProcess weston_;
    bool running_ = false;
    QString focus_;
    QStringList focusHistory_;
    QStringList answers_;
    QString log_;
};

} // namespace caltrix::e2e
