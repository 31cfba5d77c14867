// A logout, Ctrl+C or a closed terminal (SIGTERM, SIGINT, SIGHUP) ends the real caltrix as Close
// does, over antsim's serial stick: the channels closed and the stick reset after the signal, the
// run recorded, exit status 0. Also while it still waits for the trainer, and caltrix --settings.
#include "ProgramFixture.h"
#include "VerboseAntsim.h"

#include <QDir>

#include <csignal>

using namespace caltrix;
using namespace caltrix::e2e;

namespace {

class SignalEnd : public ProgramTest, public ::testing::WithParamInterface<int> {
protected:
    void signalCaltrix(int signal) { ::kill(static_cast<pid_t>(caltrix.processId()), signal); }

    void expectExitWithStatus0()
    {
        ASSERT_TRUE(caltrix.waitForFinished(PatienceMs)) << "caltrix did not end after the signal";
        EXPECT_EQ(caltrix.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(caltrix.exitCode(), 0);
    }

    // The lines of the only run record.
    QStringList recordLines() const
    {
        const QDir runs(folder.filePath(QStringLiteral("data/caltrix/runs")));
        const QStringList records = runs.entryList({ QStringLiteral("*.csv") });
        if (records.size() != 1)
            return {};
        QFile record(runs.filePath(records.first()));
        if (!record.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    VerboseAntsim antsim;
};

} // namespace

TEST_P(SignalEnd, OnceTheWindowIsShownItClosesTheChannelsResetsTheStickAndEndsWithStatus0)
{
    const QString path = antsim.start();
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
    startCaltrix(QStringLiteral("serial:") + path);
    ASSERT_TRUE(x.waitForWindow(MainWindow)) << "the window did not appear";
    ASSERT_TRUE(waitForLine(antsim.process, QStringLiteral("resistance level 3"))) << "P1 did not reach the trainer";
    const qsizetype beforeSignal = antsim.messages().size();

    signalCaltrix(GetParam());
    expectExitWithStatus0();
    EXPECT_TRUE(antsim.waitFromHost(QStringLiteral("CloseChannel [01]"), beforeSignal)) << "the trainer's channel stayed open";
    EXPECT_TRUE(antsim.waitFromHost(QStringLiteral("ResetSystem"), beforeSignal)) << "the stick was not reset";
    const QString after = antsim.messages().mid(beforeSignal);
    EXPECT_LT(after.indexOf(QLatin1String("-> CloseChannel")), after.indexOf(QLatin1String("-> ResetSystem")));
    // The run's end line: its verdict ("not steady" after these few seconds) and empty speed fields.
    const QStringList record = recordLines();
    ASSERT_FALSE(record.isEmpty());
    EXPECT_TRUE(record.last().contains(QLatin1String(",P1,")) && record.last().contains(QLatin1String("steady,")))
        << "the run was not ended: " << qPrintable(record.join(QLatin1Char('\n')));
}

INSTANTIATE_TEST_SUITE_P(EachSignal, SignalEnd, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
    [](const ::testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

// The trainer does not answer: the notice is up and the program waits for the trainer's channel.
// A signal ends the wait there: the stick is reset (no channel was connected, so none is closed),
// the window never appears and no box says the trainer was not found.
TEST_F(SignalEnd, DuringTheConnectionWaitItResetsTheStickAndEndsWithStatus0)
{
    const QString path = antsim.start({ QStringLiteral("--silent"), QStringLiteral("trainer") });
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
    startCaltrix(QStringLiteral("serial:") + path);
    ASSERT_TRUE(x.waitForWindow(WaitNotice)) << "no wait notice";
    ASSERT_TRUE(antsim.waitFromHost(QStringLiteral("OpenChannel [01]"))) << "the trainer's channel was not opened";
    const qsizetype beforeSignal = antsim.messages().size();

    signalCaltrix(SIGTERM);
    expectExitWithStatus0();
    EXPECT_TRUE(antsim.waitFromHost(QStringLiteral("ResetSystem"), beforeSignal)) << "the stick was not reset";
    EXPECT_FALSE(caltrixErrors().contains(QLatin1String("Trainer not found")));
    EXPECT_EQ(x.waitForWindow(MainWindow, 0), std::nullopt);
}

// The settings dialog alone is cancelled: nothing is written, status 0.
TEST_F(SignalEnd, TheSettingsDialogAloneIsCancelledAndEndsWithStatus0)
{
    QFile settings(registry);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray before = settings.readAll();
    settings.close();
    caltrix.setProcessEnvironment(caltrixEnvironment(QStringLiteral("usb")));
    caltrix.start(QStringLiteral(CALTRIX_PATH), { QStringLiteral("--settings") });
    ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Caltrix Settings"))) << "the dialog did not appear";

    signalCaltrix(SIGTERM);
    expectExitWithStatus0();
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), before);
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("config/caltrix/caltrix.conf"))));
}
