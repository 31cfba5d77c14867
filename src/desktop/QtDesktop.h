#pragma once

#include "platform/Desktop.h"

#include <memory>

namespace caltrix::desktop {

class ScreenSaverInhibitor;

// Message boxes, the beep and the file manager through Qt, and the screen kept awake through the
// screen saver service on the session bus (see ScreenSaverInhibitor); needs a QApplication. The
// windowed program installs it with platform::ScopedDesktop.
class QtDesktop final : public platform::Desktop {
public:
    QtDesktop();
    // Lets a screen kept awake sleep again, waiting briefly for the bus to take it.
    ~QtDesktop() override;

    void showMessageBox(const platform::MessageBox& box) override;
    bool askToRetry(const platform::MessageBox& box) override;
    void beep() override;
    bool openFolder(const QString& path) override;
    void keepScreenAwake(const QString& reason) override;
    void letScreenSleep() override;

private:
    // Made when the screen is first kept awake: the session bus is not reached before.
    std::unique_ptr<ScreenSaverInhibitor> screenSaver_;
};

} // namespace caltrix::desktop
