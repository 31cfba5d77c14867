#pragma once

#include "app/TrainerFinder.h"
#include "app/WindowRuns.h"
#include "device/TavorDeviceInterface.h"
#include "platform/Component.h"

#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QLineEdit;
class QMenu;
class QPushButton;

namespace caltrix::widgets {
class ArrowMarker;
class RunStrip;
}

namespace caltrix::app {

class SettingsDialog;
class TImage;
class TLabel;
class TShape;

// Decided once while the window is created: true when the stored "SpeedA" is present and not 0.
// The presets are then PA and PB instead of P1, P2 and P3. Main thread only.
extern bool TwoPresetMode;

// Makes the trainer device component, owned (and freed) by `Owner`. The program makes the ANT
// trainer device; tests and benchmarks make one whose sticks are virtual.
using TavorDeviceFactory = std::function<device::ITavorDevice*(platform::TComponent* Owner)>;

// Shows the settings dialog and says whether it was accepted. The program runs it modally; tests
// fill it in or cancel it instead.
using SettingsDialogRunner = std::function<bool(SettingsDialog& dialog)>;

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
    explicit TForm1(const TavorDeviceFactory& MakeDevice, const WindowRunOptions& runOptions = {},
                    SettingsDialogRunner runSettingsDialog = {});
    ~TForm1() override;

    QString ClassName() const override { return QStringLiteral("TForm1"); }

    // Shows the window centred on the screen. A Wayland compositor places windows itself: there
    // Qt leaves the position out, quietly, and the compositor chooses.
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

    // ---- ending -----------------------------------------------------------------------------------
    // Ends the program as Close does, at a request from outside (a termination signal), at any
    // point of its life: the device disconnects when it is connected or still connecting (its
    // connection then ends at once), the run ends and is recorded, the window closes and the
    // event loop ends. A start-up under way stops where it is, without further boxes. A request
    // while closing (this way or by Close) does nothing more.
    void CloseOnRequest();
    // True once Close or a request to end began closing the window.
    bool Closing() const { return closing_; }

    // ---- calibration runs -------------------------------------------------------------------------
    bool runStripShown() const { return runStripShown_; }
    // Shows or hides the strip and keeps the choice in the settings file (said in a box when it
    // cannot be kept).
    void toggleRunStrip();
    void openRunsFolder();
    // The context menu, made afresh each time it opens; the caller owns it.
    QMenu* createContextMenu();

    // ---- settings and keys --------------------------------------------------------------------------
    // The settings dialog from the context menu; after OK the window uses the new values as it
    // would read them at their next use.
    void openSettings();
    // The buttons' names for screen readers: "Preset 2: 25 km/h at level 6", "Close".
    void namePresetButtons();
    const WindowRuns& calibrationRuns() const { return *runs_; }

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
    // The run strip: below the client area, a child of the window itself.
    widgets::RunStrip* RunStrip1 = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

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
    // The preset as applied, for its run.
    runs::RunPreset applyPreset(const QPushButton* button, const std::function<std::int32_t()>& speed,
                                const std::function<std::int32_t()>& level, bool showLevelInTarget);
    void startRunAfterTheCircumference(const runs::RunPreset& preset);
    void showRunStrip(bool shown);
    // P1 to P3, or PA and PB when `twoPresets`.
    void usePresetMode(bool twoPresets);
    // When nothing names a trainer yet, the settings dialog opens before the connection; true
    // when it was accepted.
    bool offerSettingsAtFirstStart();
    bool runSettingsDialog(bool windowRunning);
    // The run settings as the settings file holds them now: for the next run, and the strip.
    void useStoredRunSettings();
    // The preset a key presses (1 to 3, or A and B in two-preset mode), if any.
    QPushButton* presetButtonForKey(int key) const;
    // Unit type 13: the roll diameter follows the circumference typed into editCirc.
    void refreshRollDiameterFromCircumference();
    void takeRollDiameterFromCircumference();
    void takeRollDiameter(long double rollDiameter);
    // Asks the desktop to keep the screen awake, or lets it sleep; only a change is passed on.
    void keepScreenAwake(bool awake);

    platform::TComponent* deviceComponent_ = nullptr;
    SettingsDialogRunner runSettingsDialog_;
    TrainerSearchStart searchTrainers_; // Find in the settings dialog
    std::unique_ptr<WindowRuns> runs_;
    bool runStripShown_ = false;
    // The trainer the runs are measured on: the settings as read at the start, then the roll
    // diameter and events per turn as the device was given them.
    runs::RunTrainer runTrainer_;
    bool screenKeptAwake_ = false; // from the trainer's connection to its end
    bool closing_ = false;
    // Dragging the top band without the window manager's help: where the pointer grabbed the window.
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace caltrix::app
