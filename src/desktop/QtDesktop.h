#pragma once

#include "platform/Desktop.h"

namespace caltrix::desktop {

// Message boxes and the beep through Qt Widgets; needs a QApplication. The windowed program
// installs it with platform::ScopedDesktop.
class QtDesktop final : public platform::Desktop {
public:
    void showMessageBox(const platform::MessageBox& box) override;
    void beep() override;
};

} // namespace caltrix::desktop
