// One caltrix per session and stick, with the real program under Xvfb: a second start for the
// stick of a running caltrix brings that one's window to the front and ends with status 0 without
// touching the stick; a caltrix for another stick runs beside.
#include "ProgramFixture.h"
#include "VerboseAntsim.h"

#include <QRegularExpression>

#include <csignal>

using namespace caltrix;
using namespace caltrix::e2e;

namespace {

// The program's main windows from the bottom of the X server's stacking order to its top (there
// is no window manager: they are the root window's children).
QStringList mainWindowsBottomToTop(const XSession& x)
{
    QProcess query;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    query.setProcessEnvironment(env);
    query.start(QStringLiteral("xwininfo"), { QStringLiteral("-root"), QStringLiteral("-children") });
    query.waitForFinished(PatienceMs);
    QStringList ids;
    static const QRegularExpression child(QStringLiteral(R"(^\s+(0x[0-9a-f]+) "Form1)"), QRegularExpression::MultilineOption);
    for (auto it = child.globalMatch(QString::fromLocal8Bit(query.readAllStandardOutput())); it.hasNext();)
        ids << it.next().captured(1);
    // xwininfo lists the top of the stack first.
    std::reverse(ids.begin(), ids.end());
    return ids;
}

bool sameWindow(const QString& hexId, const QString& decimalId) { return hexId.toULong(nullptr, 16) == decimalId.toULong(); }

} // namespace

TEST_F(ProgramTest, ASecondStartForTheSameStickBringsTheFirstToTheFrontAndLeavesItsStickAlone)
{
    VerboseAntsim antsim;
    const QString path = antsim.start();
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
    const QString stick = QStringLiteral("serial:") + path;
    startCaltrix(stick);
    const auto first = x.waitForWindowId(MainWindow);
    ASSERT_TRUE(first) << "the window did not appear";
    ASSERT_TRUE(waitForLine(antsim.process, QStringLiteral("resistance level 3")));

    // Another stick (the built-in virtual one) in the same session runs beside, and its window
    // opens over the first.
    QProcess beside;
    beside.setProcessEnvironment(caltrixEnvironment(QStringLiteral("sim"), QStringLiteral("beside-")));
    beside.start(QStringLiteral(CALTRIX_PATH), {});
    ASSERT_TRUE(waitUntil([&] { return mainWindowsBottomToTop(x).size() == 2; })) << "caltrix on the virtual stick did not run beside";
    ASSERT_FALSE(sameWindow(mainWindowsBottomToTop(x).last(), *first)) << "the later window should be on top";

    QProcess second;
    second.setProcessEnvironment(caltrixEnvironment(stick, QStringLiteral("second-")));
    second.start(QStringLiteral(CALTRIX_PATH), {});
    ASSERT_TRUE(second.waitForFinished(PatienceMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(second.readAllStandardError()),
        QStringLiteral("caltrix: Caltrix is already running for this stick (%1); its window was brought to the front.\n").arg(stick));
    EXPECT_TRUE(waitUntil([&] { return sameWindow(mainWindowsBottomToTop(x).last(), *first); }))
        << "the first window did not come to the front";
    EXPECT_EQ(beside.state(), QProcess::Running);

    // The stick saw one reset, at the first start, until the first caltrix ends and resets it.
    EXPECT_EQ(antsim.fromHost(QStringLiteral("ResetSystem")), 1);
    ::kill(static_cast<pid_t>(caltrix.processId()), SIGTERM);
    ASSERT_TRUE(caltrix.waitForFinished(PatienceMs));
    EXPECT_TRUE(antsim.waitFromHost(QStringLiteral("ResetSystem"), 0, 2));
    EXPECT_EQ(antsim.fromHost(QStringLiteral("ResetSystem")), 2) << "the second start reset the stick";
    ::kill(static_cast<pid_t>(beside.processId()), SIGTERM);
    EXPECT_TRUE(beside.waitForFinished(PatienceMs));
    EXPECT_EQ(beside.exitCode(), 0);
}
