#pragma once

#include <QDBusPendingCall>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QDBusPendingCallWatcher;

namespace caltrix::desktop {

// Keeps the screen from blanking through the desktop's screen saver service on the session bus
// (org.freedesktop.ScreenSaver, which GNOME, KDE and the other desktops offer): Inhibit while held,
// UnInhibit with the cookie that Inhibit answered when released.
//
// Every call is asynchronous, so a slow bus never holds up the window; the session bus is first
// reached when the screen is first held, not before. Where there is no session bus or no such
// service, nothing happens and nothing is said: the screen then blanks as the desktop decides.
// Destroying it releases a held screen and waits, at most BusAnswerMs for each call, for the bus
// to take the release, so that it is not lost with the program.
//
// Main thread only.
class ScreenSaverInhibitor final {
public:
    // How long a call waits for the service's answer.
    static constexpr int BusAnswerMs = 1000;

    // `applicationName` is the name the desktop shows beside the reason.
    explicit ScreenSaverInhibitor(QString applicationName);
    ~ScreenSaverInhibitor();
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Holds the screen awake for `reason` (shown by the desktop); nothing more while held.
    void hold(const QString& reason);
    // Lets the screen blank again: at once, or as soon as the service answers a hold still on
    // its way.
    void release();

private:
    void inhibitAnswered(const QDBusPendingCall& answer);
    void unInhibit(std::uint32_t cookie);

    QString applicationName_;
    bool wanted_ = false;
    std::optional<std::uint32_t> cookie_; // the service's answer to the hold in force
    std::unique_ptr<QDBusPendingCallWatcher> inhibiting_; // a hold not yet answered
    // The last hold answered: its watcher sent the answer, so it is freed at the next hold, not
    // inside its own signal.
    std::unique_ptr<QDBusPendingCallWatcher> answered_;
    std::vector<QDBusPendingCall> releasing_; // releases not yet answered
};

} // namespace caltrix::desktop
