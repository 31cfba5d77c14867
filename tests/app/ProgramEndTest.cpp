// A request to end the program (a termination signal) as the window meets it: inside the settings
// dialog, which is cancelled, and inside the connection wait, which ends there without a box. The
// device disconnects as on Close, and a second request does nothing more.
#include "app/ProgramEnd.h"

#include "WindowHarness.h"

#include <QFile>
#include <QLineEdit>
#include <QTimer>

using namespace caltrix;
using namespace caltrix::app;
using namespace caltrix::app::test;

namespace {

using ProgramEndTest = WindowTest;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(ProgramEndTest, InsideTheSettingsDialogItIsCancelledAndTheWindowClosesAsOnClose)
{
    configureTrainer();
    TForm1& w = createWindow();
    w.show();
    ASSERT_TRUE(trainerDevice().Connected());
    const QByteArray registry = contents(hive.filePath());
    std::optional<int> dialogResult;
    answerSettings = [&](SettingsDialog& dialog) {
        dialog.field(QStringLiteral("Speed2"))->setText(QStringLiteral("31"));
        QTimer::singleShot(0, [] { EndOnSignal(); });
        dialogResult = dialog.exec();
        return dialogResult == QDialog::Accepted;
    };
    w.openSettings();

    EXPECT_EQ(dialogResult, QDialog::Rejected);
    EXPECT_EQ(contents(hive.filePath()), registry) << "a cancelled dialog writes nothing";
    EXPECT_TRUE(w.Closing());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(trainerDevice().Connected());
    EXPECT_FALSE(sentToStick(antproto::msg::CloseChannel).empty());
    const auto resets = sentToStick(antproto::msg::ResetSystem).size();
    EXPECT_EQ(resets, 2u) << "the reset at opening and the one at closing";

    EndOnSignal();
    EXPECT_EQ(sentToStick(antproto::msg::ResetSystem).size(), resets) << "a second request did more";
}

TEST_F(ProgramEndTest, InsideTheConnectionWaitTheStartUpStopsWithoutABox)
{
    configureTrainer();
    world.trainer = false; // the connection would wait 10 s for each channel, then 40 s
    const auto start = now();
    clock.callAfter(3000, [] { EndOnSignal(); });
    TForm1& w = createWindow();

    EXPECT_LT(now() - start, 10'000u) << "the connection's waits went on";
    EXPECT_TRUE(w.Closing());
    EXPECT_TRUE(screen.texts().empty()) << "no \"Trainer not found\" after a request to end";
    EXPECT_EQ(WaitNotice(), nullptr);
    EXPECT_FALSE(trainerDevice().Connected());
    EXPECT_EQ(ant::AntLink, nullptr) << "the link was freed";
    EXPECT_EQ(sentToStick(antproto::msg::ResetSystem).size(), 2u) << "the stick was reset on the way out";
}
