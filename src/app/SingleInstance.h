#pragma once

#include "app/CommandLine.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QString>

#include <functional>
#include <optional>

namespace caltrix::app {

// The stick a start of Caltrix uses, as it decides "the same stick": CALTRIX_ANT's value exactly
// as given, or "usb" when it is unset or empty (what the radio link then opens).
QString StickOfThisStart();

// Where the Caltrix of one stick listens: "caltrix-" and the first 16 hexadecimal digits of the
// SHA-256 of the stick's value, in the user's runtime folder ($XDG_RUNTIME_DIR, private to the
// user's session; where it is unset, Qt's fallback /tmp/runtime-$USER, made with mode 0700).
QString InstanceSocketPath(const QString& stick);

// Raises the program's shown windows: the calibration window first, then what stands over it
// (the wait notice, boxes and dialogs), and asks for the topmost to be activated. A Wayland
// compositor may refuse; that is its choice.
void BringWindowsToFront();

// One Caltrix at a time per user session and stick. The first start listens on the stick's local
// socket and, asked by a later start, brings its windows to the front and answers. A later start
// asks the running one and ends. A socket left behind by a Caltrix that was killed answers
// nothing and is replaced. Claiming takes a lock beside the socket ("<socket>.lock", left in place),
// so that two starts at the same moment cannot both take the stick. The object that listens
// answers in the main thread's event loop; a later start's claim blocks and needs no event loop.
class SingleInstance final {
public:
    SingleInstance(QString stick, std::function<void()> bringToFront);

    // Nothing when this start is the one for the stick (also when the check cannot be made, which
    // is said on standard error: a start is never refused for that); otherwise what to say and
    // the exit status, the running Caltrix having been asked to come to the front.
    std::optional<CommandLineAnswer> claim();

private:
    CommandLineAnswer askToComeToFront(QLocalSocket& running) const;
    bool listen();
    void answerRequests();

    QString stick_;
    QString path_;
    std::function<void()> bringToFront_;
    QLocalServer server_;
};

} // namespace caltrix::app
