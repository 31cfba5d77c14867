// The screen kept awake while the trainer is connected: asked of the desktop when the trainer
// answers, let go when it is lost, at Close and when the window goes; and over a private session
// bus (its CTest entry runs those under dbus-run-session), the screen saver service's calls.
#include "WindowHarness.h"

#include "ProcessUntil.h"
#include "QtPrinters.h"
#include "ScreenSaverStandIn.h"
#include "desktop/QtDesktop.h"

#include <QPushButton>
#include <QTest>

using namespace caltrix;
using namespace caltrix::app;
using namespace caltrix::app::test;
using Call = caltrix::test::ScreenSaverStandIn::Call;

namespace {

const QString Reason = QStringLiteral("A trainer is connected");
const QStringList AwakeThenAsleep { QStringLiteral("awake: ") + Reason, QStringLiteral("asleep") };

} // namespace

namespace caltrix::app::test {

class WindowScreenAwake : public WindowTest {
protected:
    void loseTheTrainer()
    {
        sim->world().device("trainer")->silenceForever();
        for (int s = 0; s < 120 && trainerDevice().Connected(); ++s)
            ride(1000);
        ASSERT_FALSE(trainerDevice().Connected());
        ride(1000); // the statistics tick that sees the loss
    }
};

} // namespace caltrix::app::test

TEST_F(WindowScreenAwake, ItStaysAwakeFromTheConnectionUntilTheTrainerIsLost)
{
    configureTrainer();
    createWindow();
    EXPECT_EQ(screen.screenAwake, QStringList { QStringLiteral("awake: ") + Reason });
    ride(3000);
    EXPECT_EQ(screen.screenAwake.size(), 1) << "asked once for the whole connection";
    loseTheTrainer();
    ride(3000);
    form.reset();
    EXPECT_EQ(screen.screenAwake, AwakeThenAsleep) << "let go once, at the loss";
}

TEST_F(WindowScreenAwake, CloseAndTheWindowsEndLetItSleep)
{
    const std::vector<std::pair<const char*, std::function<void(TForm1&)>>> endings {
        { "Close", [](TForm1& w) { QTest::mouseClick(w.Button4, Qt::LeftButton); } },
        { "the window destroyed", [this](TForm1&) { form.reset(); } },
    };
    configureTrainer();
    for (const auto& [name, end] : endings) {
        SCOPED_TRACE(name);
        screen.screenAwake.clear();
        createWindow().ShowCentred();
        ride(2000);
        end(*form);
        form.reset();
        EXPECT_EQ(screen.screenAwake, AwakeThenAsleep);
    }
}

TEST_F(WindowScreenAwake, WithoutATrainerNothingIsAsked)
{
    configureTrainer();
    world.trainer = false;
    createWindow();
    form.reset();
    EXPECT_TRUE(screen.screenAwake.isEmpty());
}

// The window with the Qt desktop's screen saver calls, against a stand-in service.
class WindowOnPrivateBus : public WindowScreenAwake {
protected:
    void SetUp() override
    {
        if (!caltrix::test::onPrivateBus())
            GTEST_SKIP() << "runs under dbus-run-session only (its CTest entry), never on the desktop's own bus";
        standIn = std::make_unique<caltrix::test::ScreenSaverStandIn>();
        ASSERT_TRUE(standIn->registered());
        screen.screenSaver = &qtDesktop;
    }
    ~WindowOnPrivateBus() override { form.reset(); } // it lets the screen sleep through qtDesktop

    // The bus answers in real time, whatever the test's clock says.
    bool callsReach(std::size_t count)
    {
        return QTest::qWaitFor([&] { return standIn->calls().size() >= count; }, caltrix::test::PatienceMs);
    }

    const Call inhibit { QStringLiteral("Inhibit"), { QStringLiteral("Caltrix"), Reason } };
    const Call unInhibit101 { QStringLiteral("UnInhibit"), { QVariant::fromValue(101u) } };
    std::unique_ptr<caltrix::test::ScreenSaverStandIn> standIn; // made on the private bus alone
    desktop::QtDesktop qtDesktop; // reaches no bus until the screen is kept awake
};

TEST_F(WindowOnPrivateBus, TheLossGivesTheCookieBack)
{
    configureTrainer();
    createWindow();
    ASSERT_TRUE(callsReach(1));
    loseTheTrainer();
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(standIn->calls(), (std::vector<Call> { inhibit, unInhibit101 }));
}

TEST_F(WindowOnPrivateBus, TheEndGivesTheCookieBack)
{
    configureTrainer();
    createWindow();
    ASSERT_TRUE(callsReach(1));
    ride(2000);
    form.reset();
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(standIn->calls(), (std::vector<Call> { inhibit, unInhibit101 }));
}
