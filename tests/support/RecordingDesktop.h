#pragma once

#include "platform/Desktop.h"

#include <vector>

namespace caltrix::platform {

// A desktop that records every box, beep and opened folder instead of showing anything.
class RecordingDesktop final : public Desktop {
public:
    void showMessageBox(const MessageBox& box) override { boxes.push_back(box); }
    void beep() override { ++beeps; }
    bool openFolder(const QString& path) override
    {
        openedFolders.push_back(path);
        return true;
    }

    std::vector<MessageBox> boxes;
    std::vector<QString> openedFolders;
    int beeps = 0;
};

} // namespace caltrix::platform
