#pragma once

#include "platform/Desktop.h"

#include <vector>

namespace caltrix::platform {

// A desktop that records every box and beep instead of showing anything.
class RecordingDesktop final : public Desktop {
public:
    void showMessageBox(const MessageBox& box) override { boxes.push_back(box); }
    void beep() override { ++beeps; }

    std::vector<MessageBox> boxes;
    int beeps = 0;
};

} // namespace caltrix::platform
