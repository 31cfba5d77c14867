#pragma once

#include "platform/Desktop.h"

namespace caltrix::desktop {

// Message boxes, the beep and the file manager through Qt; needs a QApplication. The windowed program
// installs it with platform::ScopedDesktop.
class QtDesktop final : public platform::Desktop {
public:
    void showMessageBox(const platform::MessageBox& box) override;
    bool askToRetry(const platform::MessageBox& box) override;
    void beep() override;
    bool openFolder(const QString& path) override;
};

} // namespace caltrix::desktop
