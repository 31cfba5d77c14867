#pragma once

#include "app/SettingsDialog.h"
#include "app/Unit1.h"
#include "app/WaitUnit.h"
#include "app/settings/StoredSettings.h"
#include "device/DeviceHarness.h"
#include "hive/CurrentUser.h"
#include "hive/Hive.h"

#include "ScopedEnv.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace caltrix::app::test {

// A trainer device whose live speed is whatever the test says.
class SteadySpeedDevice final : public device::TTavorDeviceANT {
public:
    using TTavorDeviceANT::TTavorDeviceANT;
    double GetSpeed() override { return speed; }
    double speed = 0;
};

// A message box as the window showed it, and whether the wait notice was up at that moment.
struct ShownBox {
    platform::MessageBox box;
    bool noticeUp = false;
    bool windowsDisabled = false;
};

// Records every box with what was on the screen when it came.
class ScreenDesktop final : public platform::Desktop {
public:
    void showMessageBox(const platform::MessageBox& box) override;
    // Recorded as a box; answered Retry as often as `retries` says.
    bool askToRetry(const platform::MessageBox& box) override
    {
        showMessageBox(box);
        return retries > 0 && retries-- > 0;
    }
    int retries = 0;
    void beep() override { }
    bool openFolder(const QString& path) override
    {
        openedFolders.push_back(path);
        return true;
    }

    // Recorded as "awake: REASON" and "asleep", and passed on to `screenSaver` when there is one.
    void keepScreenAwake(const QString& reason) override
    {
        screenAwake << QStringLiteral("awake: ") + reason;
        if (screenSaver)
            screenSaver->keepScreenAwake(reason);
    }
    void letScreenSleep() override
    {
        screenAwake << QStringLiteral("asleep");
        if (screenSaver)
            screenSaver->letScreenSleep();
    }

    std::vector<ShownBox> boxes;
    std::vector<QString> openedFolders;
    QStringList screenAwake;
    platform::Desktop* screenSaver = nullptr;
    std::vector<QString> texts() const;
};

// The calibration window on the virtual clock, its trainer device on the virtual stick of
// `world`, its settings in a hive file of its own (written with `set`), in a point locale.
class WindowTest : public device::test::DeviceTest {
protected:
    WindowTest();
    ~WindowTest() override;

    void set(const QString& key, const QString& name, const QString& text);
    // The sample settings of a configured trainer with the simulated trainer's number.
    void configureTrainer(std::int32_t unitType = 5);

    // Creates the window: its start-up runs, the connection attempt included. The trainer devices
    // it makes come from `makeDevice` (the ANT trainer device on this test's world by default).
    TForm1& createWindow();
    std::function<device::TTavorDeviceANT*(platform::TComponent*)> makeDevice;
    // The next window's device reports the speed of `steadyDevice->speed` (set it once created).
    void useSteadySpeedDevice();
    SteadySpeedDevice* steadyDevice = nullptr;

    // The window's device as what it is.
    device::TTavorDeviceANT& trainerDevice() const;

    // The messages the host sent to the virtual stick since the window was created, by id.
    std::vector<antproto::AntMessage> sentToStick(std::uint8_t id) const;

    QTemporaryDir dir;
    hive::Hive hive { dir.filePath(QStringLiteral("user.reg")) };
    QString runsFolder = dir.filePath(QStringLiteral("runs")); // the window's run records
    std::optional<int> runHoldSeconds; // instead of the settings file's
    // The settings dialog as the window shows it: counted, then answered by `answerSettings`
    // (cancelled when none).
    int settingsDialogsShown = 0;
    std::function<bool(SettingsDialog&)> answerSettings;
    ScopedEnv ownSettingsFile { "XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")) }; // caltrix.conf
    hive::ScopedCurrentUser user { hive };
    platform::ScopedLocale locale { QLocale::c() };
    ScreenDesktop screen;
    platform::ScopedDesktop scopedScreen { screen };
    std::vector<antproto::AntMessage> hostMessages;
    std::unique_ptr<TForm1> form; // destroyed first
};

} // namespace caltrix::app::test
