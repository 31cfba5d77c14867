// The real caltrix over the native USB transport (libusb), under Xvfb: an empty USB bus (no stick
// at all) and an emulated ANT stick (umockdev) with the simulated world behind it, which is pulled
// out mid-ride. The test and caltrix run under umockdev's preload library; the emulated stick is
// answered here, in the test process.
#include "ProgramFixture.h"

#include "EmulatedUsb.h"

#include "antproto/Transport.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "app/Unit1Layout.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include "PictureCompare.h"

#include "SimulatedWorld.h"

#include <QCoreApplication>


using namespace caltrix;
using namespace caltrix::e2e;
using caltrix::antlib::test::EmulatedAntStick;
using caltrix::antlib::test::EmulatedUsb;

namespace {

const bool underUmockdev = (antlib::test::reexecUnderUmockdev(), true);

constexpr std::uint16_t ProductUsb2 = 0x1008;
constexpr test::PictureTolerance TextTolerance { 64, 40 };

// The simulated world behind an emulated USB stick: what caltrix sends on bulk OUT goes to the
// virtual stick on this process's main thread, its answers go back on bulk IN.
class WorldBehindUsb : private antproto::TransportListener {
public:
    explicit WorldBehindUsb(EmulatedAntStick& usb)
        : world_(platform::clock(), options())
        , stick_(world_)
        , usb_(usb)
    {
        std::string error;
        stick_.open(*this, error);
        world_.rider().onResistanceChanged = [this](std::uint8_t level) { levels.push_back(level); };
        usb_.setHostBytesHandler([this](std::vector<std::uint8_t> bytes) {
            // umockdev's worker thread: hand the bytes to the main thread without waiting. Posted to
            // an object of this world, so that what is still posted when it goes is dropped with it.
            QMetaObject::invokeMethod(
                &mainThreadWork_, [this, bytes = std::move(bytes)] { stick_.write(bytes); }, Qt::QueuedConnection);
        });
    }
    ~WorldBehindUsb() override
    {
        usb_.setHostBytesHandler(nullptr);
        stick_.close();
    }

    std::vector<std::uint8_t> levels; // each level the trainer took

private:
    static antsim::WorldOptions options()
    {
        antsim::WorldOptions o = caltrix::test::worldWithDefaultKeys();
        o.trainerNumber = TrainerNumber;
        return o;
    }
    void bytesReceived(std::span<const std::uint8_t> bytes) override { usb_.queueIn(bytes); }
    void transportLost(const std::string&) override { }

    QObject mainThreadWork_;
    antsim::SimWorld world_;
    antsim::VirtualStick stick_;
    EmulatedAntStick& usb_;
};

class UsbStick : public ProgramTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(underUmockdev);
        ProgramTest::SetUp();
    }

    // Clicks OK in the message box on the screen, after comparing it with its stored picture.
    void acknowledgeMessageBox(const QString& picture)
    {
        const auto box = x.waitForWindowId(MessageBox);
        ASSERT_TRUE(box) << "no message box";
        const QRect area = x.area(*box);
        EXPECT_TRUE(test::matchesReferencePicture(x.grab(area), picture, TextTolerance));
        x.click(area.bottomRight() - OkFromBottomRight);
        ASSERT_TRUE(x.waitUntilClosed(*box));
    }

    bool trainerTook(std::uint8_t level)
    {
        return waitUntil([&] { return std::find(world->levels.begin(), world->levels.end(), level) != world->levels.end(); });
    }

    // Where Qt's message box puts its OK button, from the box's bottom-right corner.
    static constexpr QPoint OkFromBottomRight { 52, 24 };

    platform::RealClock clock;
    platform::ScopedClock useClock { clock };
    EmulatedUsb bus;
    std::unique_ptr<WorldBehindUsb> world;
};

// An empty bus: the device's message, then the window's, then the window not connected.
TEST_F(UsbStick, NoStickAtAllShowsTheMessagesInOrderAndTheWindowNotConnected)
{
    startCaltrix(QStringLiteral("usb"));
    acknowledgeMessageBox(QStringLiteral("e2e_no_stick_dongle"));
    acknowledgeMessageBox(QStringLiteral("e2e_no_stick_trainer"));
    const auto window = x.waitForWindow(MainWindow);
    ASSERT_TRUE(window);
    EXPECT_TRUE(test::matchesReferencePicture(x.grab(designedArea(*window)), QStringLiteral("e2e_not_connected"), TextTolerance));
    closeAndExpectExit(*window);
}

// The same flow as over the serial stick up to the second preset, then the stick is pulled out.
TEST_F(UsbStick, RidesOnTheFirstPresetsThenTheStickIsPulledOut)
{
    EmulatedAntStick& stick = bus.addAntStick(ProductUsb2, 1);
    world = std::make_unique<WorldBehindUsb>(stick);
    startCaltrix(QStringLiteral("usb"));
    const auto window = x.waitForWindow(MainWindow);
    ASSERT_TRUE(window) << "the window did not appear";
    ASSERT_TRUE(trainerTook(3)) << "P1 did not reach the trainer";
    press(*window, app::layout::Button2);
    ASSERT_TRUE(trainerTook(6)) << "P2 did not reach the trainer";
    EXPECT_TRUE(waitUntil([&] { return arrowSpeed(*window).value_or(0) > 10; })) << "no live speed";

    stick.unplug();
    expectTheStickReportedLost(*window);
    EXPECT_TRUE(test::matchesReferencePicture(x.grab(designedArea(*window)), QStringLiteral("e2e_usb_pulled_out"), TextTolerance));
    closeAndExpectExit(*window);
}

} // namespace
