#pragma once

#include "device/TavorDeviceInterface.h"
#include "platform/Component.h"

#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>

class QLineEdit;
class QPushButton;

namespace caltrix::widgets {
class ArrowMarker;
}

namespace caltrix::app {

class TImage;
class TLabel;
class TShape;

// Decided once while the window is created: true when the stored "SpeedA" is present and not 0.
// The presets are then PA and PB instead of P1, P2 and P3. Main thread only.
extern bool TwoPresetMode;

// Makes the trainer device component, owned (and freed) by `Owner`. The program makes the ANT
// trainer device; tests and benchmarks make one whose sticks are virtual.
using TavorDeviceFactory = std::function<device::ITavorDevice*(platform::TComponent* Owner)>;

// The calibration window: three preset buttons (two in two-preset mode) that each send a resistance
// level to the trainer and mark a target speed on a 0..50 scale, the live speed as a number and as
// an arrow on the same scale, and Close. It owns one trainer device, which gets its design-time
// values from the window's stored form.
//
// Creating the window runs FormCreate, the whole start-up: it reads the settings, puts up the wait
// notice, connects to the trainer and applies the first preset once connected. Show it afterwards
// (ShowCentred). An error that a handler does not catch ends that handler and is shown in the
// unhandled-error box; the window stays usable.
//
// Main thread only.
class TForm1 final : public QWidget, public platform::TComponent {
public:
    explicit TForm1(const TavorDeviceFactory& MakeDevice);
    ~TForm1() override;

    QString ClassName() const override { return QStringLiteral("TForm1"); }

    // Shows the window centred on the screen.
    void ShowCentred();

    // ---- handlers ---------------------------------------------------------------------------------
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void TavorDeviceANT1Connected(platform::TObject* Sender);
    void TavorDeviceANT1Stats(platform::TObject* Sender);

    // Place the target marker and the speed arrow on the scale at speed `x` (not clamped).
    void set_range(double x);
    void set_arrow(double x);

    // ---- controls, in declaration order -----------------------------------------------------------
    TShape* Shape1 = nullptr;
    TShape* Shape2 = nullptr;
    TShape* Shape3 = nullptr;
    TShape* shp1 = nullptr;
    widgets::ArrowMarker* VrArrow1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    TLabel* lblSpeed = nullptr;
    device::ITavorDevice* TavorDeviceANT1 = nullptr;
    TLabel* lblTarget = nullptr;
    TImage* Image1 = nullptr;
    QPushButton* Button4 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    QLineEdit* editCirc = nullptr;
    TLabel* lblCirc = nullptr;

    // The client area: every control above lies on it, inside the window's 1 px border.
    QWidget* ClientArea = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void createControls();
    void createItems();
    void createWindowedControls();
    void createDevice(const TavorDeviceFactory& MakeDevice);
    void connectHandlers();
    // Parts of FormCreate.
    void writeSettingsLine();
    bool connectWhileTheNoticeIsUp();
    // The look without speed updates: the arrow at its designed place and the designed speed text.
    void showNotConnected();
    // The part of the preset handlers they share: marker, target text, level label, level sent.
    void applyPreset(const std::function<std::int32_t()>& speed, const std::function<std::int32_t()>& level,
                     bool showLevelInTarget);
    // Unit type 13: the roll diameter follows the circumference typed into editCirc.
    void refreshRollDiameterFromCircumference();
    void takeRollDiameterFromCircumference();

    platform::TComponent* deviceComponent_ = nullptr;
    // Dragging the top band without the window manager's help: where the pointer grabbed the window.
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace caltrix::app
