#pragma once

#include <QString>

#include <exception>

namespace caltrix::platform {

enum class BoxIcon { None, Information, Warning, Error };

// A modal message box with an OK button.
struct MessageBox {
    QString text;
    QString caption;
    BoxIcon icon = BoxIcon::None;
    bool systemModal = false; // blocks the whole program, brought to the front and kept on top
    bool operator==(const MessageBox&) const = default;
};

// What the program asks of the desktop beyond its own windows: message boxes, the beep and the
// file manager. Main thread only.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Shows the box and returns when the user has closed it.
    virtual void showMessageBox(const MessageBox& box) = 0;
    // Shows the box with Retry and Cancel instead of OK; true when the user chose Retry. Where no
    // one can answer, the box is shown as a message and nothing is tried again.
    virtual bool askToRetry(const MessageBox& box)
    {
        showMessageBox(box);
        return false;
    }
    // The default system beep.
    virtual void beep() = 0;
    // Opens `path`, an existing folder, in the desktop's file manager. False when nothing could
    // open it (no file manager is set up for folders).
    virtual bool openFolder(const QString& path) = 0;
    // Keeps the screen from blanking until letScreenSleep, for `reason`, which the desktop may
    // show. Where the desktop offers no way to do so nothing happens, as in these defaults; neither
    // waits for the desktop nor fails.
    virtual void keepScreenAwake(const QString& /*reason*/) { }
    virtual void letScreenSleep() { }
};

// The desktop of a program without windows (command-line tools, or before the windowed program
// installs its own): a box is written to standard error as its caption and text, the beep
// is the terminal bell, and a folder cannot be opened. The windowed desktop is desktop::QtDesktop.
class ConsoleDesktop final : public Desktop {
public:
    void showMessageBox(const MessageBox& box) override;
    void beep() override;
    bool openFolder(const QString&) override { return false; }
};

// The application title: captions message boxes and the unhandled-error box.
inline const QString ApplicationTitle = QStringLiteral("Caltrix");

// The box for an error that no handler caught: the error icon, the application title as caption,
// and the message with a full stop added when it does not end with one.
MessageBox unhandledErrorBox(const QString& message);

// Shows `error` in the unhandled-error box of the current desktop.
void showUnhandledError(const std::exception& error);

} // namespace caltrix::platform
