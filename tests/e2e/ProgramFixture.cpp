#include "ProgramFixture.h"

#include "app/Unit1Layout.h"
#include "app/settings/SampleSettings.h"
#include "hive/Hive.h"

#include <QDir>
#include <QFile>
#include <QPainter>

namespace caltrix::e2e {

namespace {

// The client area lies inside the window's border.
QPoint clientOrigin(const QRect& mainWindow)
{
    return mainWindow.topLeft() + QPoint(app::layout::BorderWidth, app::layout::BorderWidth);
}

// Where the live speed shows, in the client area: the speed label, and the arrow from its tip in
// the bar, beside the resistance label and left of Close, down to its foot over the settings line.
constexpr QRect SpeedLabelArea { 8, 110, 110, 20 };
constexpr QRect ArrowBand { 0, 147, 290, 42 };
constexpr QRect ArrowAreas[] = { { 0, 147, 290, 21 }, { 0, 168, 232, 21 } };
const QColor ArrowRed(0xFF, 0x00, 0x00);

} // namespace

QRect designedArea(const QRect& mainWindow)
{
    return { mainWindow.topLeft(), app::layout::ClientSize.grownBy(QMargins(app::layout::BorderWidth,
                                       app::layout::BorderWidth, app::layout::BorderWidth, app::layout::BorderWidth)) };
}

void paintOver(QImage& picture, std::initializer_list<QRect> areas)
{
    QPainter painter(&picture);
    for (const QRect& area : areas)
        painter.fillRect(area, Qt::darkGray);
}

void ProgramRun::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    registry = folder.filePath(QStringLiteral("user.reg"));
    hive::Hive hive(registry);
    app::writeSampleSettings(hive, TrainerNumber);
}

void ProgramTest::SetUp()
{
    ASSERT_TRUE(x.running()) << "Xvfb did not start (scripts/install-deps installs it)";
    ProgramRun::SetUp();
}

void ProgramRun::TearDown()
{
    if (caltrix.state() != QProcess::NotRunning) {
        caltrix.kill();
        caltrix.waitForFinished(PatienceMs);
    }
    if (HasFailure())
        std::fprintf(stderr, "caltrix said:\n%s\n", qPrintable(caltrixErrors()));
}

QProcessEnvironment ProgramRun::caltrixEnvironment(const QString& ant, const QString& own) const
{
    QProcessEnvironment env = displayEnvironment();
    env.insert(QStringLiteral("CALTRIX_ANT"), ant);
    env.insert(QStringLiteral("CALTRIX_REGISTRY"), registry);
    env.insert(QStringLiteral("CALTRIX_LOG"), folder.filePath(own + QStringLiteral("link.log")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(own + QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(own + QStringLiteral("data")));
    // The test's own session, so that tests running at the same time never meet as one stick; a
    // Wayland display already lives in a runtime folder of the test's own, which caltrix needs.
    if (env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder());
    return env;
}

QString ProgramRun::runtimeFolder() const
{
    const QString path = folder.filePath(QStringLiteral("runtime"));
    if (QDir().mkpath(path))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

void ProgramRun::startCaltrix(const QString& ant)
{
    caltrix.setProcessEnvironment(caltrixEnvironment(ant));
    caltrix.start(QStringLiteral(CALTRIX_PATH), {});
    ASSERT_TRUE(caltrix.waitForStarted(PatienceMs));
}

void ProgramTest::press(const QRect& mainWindow, const QRect& control)
{
    x.click(clientOrigin(mainWindow) + control.center());
}

QImage ProgramTest::steadyParts(const QRect& mainWindow) const
{
    QImage picture = x.grab(designedArea(mainWindow));
    const QPoint origin(app::layout::BorderWidth, app::layout::BorderWidth);
    paintOver(picture, { SpeedLabelArea.translated(origin), ArrowAreas[0].translated(origin), ArrowAreas[1].translated(origin) });
    return picture;
}

std::optional<double> ProgramTest::arrowSpeed(const QRect& mainWindow) const
{
    const QImage picture = x.grab(mainWindow);
    const QRect band = ArrowBand.translated(app::layout::BorderWidth, app::layout::BorderWidth);
    int left = picture.width();
    int right = -1;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            if (picture.pixelColor(x, y) == ArrowRed) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (right < 0)
        return std::nullopt;
    // The arrow's box is centred on the speed: centre = Shape1's left + Shape1's width × speed / 50.
    const double centre = (left + right) / 2.0 - app::layout::BorderWidth;
    const QRect bar = app::layout::Shape1;
    return (centre - bar.left()) * 50.0 / bar.width();
}

QString ProgramRun::caltrixErrors()
{
    caltrixStderr += QString::fromLocal8Bit(caltrix.readAllStandardError());
    return caltrixStderr;
}

void ProgramTest::expectTheStickReportedLost(const QRect& mainWindow)
{
    EXPECT_TRUE(waitUntil([&] { return caltrixErrors().contains(QLatin1String("stopped answering")); }));
    const QRect bar = app::layout::Shape1;
    const double designed = (app::layout::VrArrow1.left() + app::layout::VrArrow1.width() / 2.0 - bar.left()) * 50.0 / bar.width();
    EXPECT_TRUE(waitUntil([&] { return std::abs(arrowSpeed(mainWindow).value_or(-1) - designed) < 0.2; }))
        << "the window still shows a speed";
}

void ProgramTest::closeAndExpectExit(const QRect& mainWindow)
{
    press(mainWindow, app::layout::Button4);
    expectExit();
}

void ProgramRun::expectExit()
{
    ASSERT_TRUE(caltrix.waitForFinished(PatienceMs)) << "caltrix did not end when asked to close";
    EXPECT_EQ(caltrix.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(caltrix.exitCode(), 0);
}

} // namespace caltrix::e2e
