#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;

namespace caltrix::widgets {
class BusyPicture;
class GradientPanel;
class ProgressBar;
} // namespace caltrix::widgets

namespace caltrix::app {

// The designed layout of the wait notice in device-independent pixels: the client area and each
// control's rectangle on it. The controls keep their distances to the edges they are anchored to
// when the client area changes size.
namespace WaitDlgLayout {
inline constexpr QSize Client { 374, 77 };
inline constexpr QRect Panel { 0, 0, 374, 77 };
inline constexpr QRect LabelWait { 56, 12, 309, 29 };   // anchored left, top and right
inline constexpr QRect WaitProgress { 4, 5, 44, 44 };   // anchored left and top
inline constexpr QRect BtCancel { 269, 46, 97, 25 };    // anchored right and bottom
inline constexpr QRect WaitBar { -71, 52, 259, 17 };    // anchored top and right
} // namespace WaitDlgLayout

// The wait notice's window: a borderless, stay-on-top window of text on a gradient panel, with
// an optional busy picture and cancel button. WaitUnit puts the one notice up and takes it down.
// Main thread only.
class TWaitDlgForm final : public QWidget {
public:
    explicit TWaitDlgForm(QWidget* parent = nullptr);

    widgets::GradientPanel* Panel = nullptr;
    QLabel* LabelWait = nullptr;
    QPushButton* BtCancel = nullptr;
    widgets::ProgressBar* WaitBar = nullptr; // hidden; only its position is reset
    widgets::BusyPicture* WaitProgress = nullptr;

    // The event type that the cancel button sends to the application object, 0 for none.
    // A caller that offers cancelling sets it to a type it handles (QEvent::registerEventType()).
    std::int32_t CancelMessage = 0;

    // Sets CancelMessage to 0.
    void FormCreate();
    // Sends CancelMessage synchronously to the application object, when it is an event type
    // (1..65535); it neither closes nor hides the notice.
    void BtCancelClick();
    // Closing only hides the notice, as for any secondary window.
    void FormClose() { }

    // True while BtCancelClick delivers CancelMessage: a handler of it may take the notice down,
    // and the notice must then outlive the button's click.
    bool deliveringCancel() const { return deliveringCancel_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();

    bool deliveringCancel_ = false;
};

} // namespace caltrix::app
