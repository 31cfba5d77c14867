// caltrix-demo: the calibration window on the built-in virtual stick, with demo settings of its
// own and a simulated rider who pedals towards each preset's target speed. With --headless it runs
// a short script on Qt's offscreen platform and prints what the window shows.
#include "DemoScript.h"

#include "antlib/AntDriver.h"
#include "antlib/SimTransport.h"
#include "app/Unit1.h"
#include "app/settings/SampleSettings.h"
#include "desktop/QtDesktop.h"
#include "device/TavorDeviceANT.h"
#include "hive/CurrentUser.h"
#include "hive/Hive.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <memory>

namespace {

using namespace caltrix;

constexpr int ScriptHoldSeconds = 10;

struct Options {
    bool headless = false;
    int seconds = 60;
    QString folder; // the demo's settings file and pictures
};

Options readOptions(const QApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Caltrix on the built-in virtual stick, with demo settings and a simulated rider who pedals towards "
        "each preset's target speed. Never reads or writes your own registry."));
    parser.addHelpOption();
    const QCommandLineOption headless(QStringLiteral("headless"),
        QStringLiteral("Run a short script offscreen: press P1, P2 and P3 in turn, print one line a second and "
                       "each run's verdict, save pictures of the window, close. The runs are held for 10 s "
                       "instead of the run-hold setting, so that each preset can become steady."));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of the script (default 60)."),
        QStringLiteral("n"), QStringLiteral("60"));
    const QCommandLineOption folder(QStringLiteral("folder"),
        QStringLiteral("Folder of the demo's settings file and pictures (default: demo/ beside bin/)."),
        QStringLiteral("path"), QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../demo")));
    parser.addOptions({ headless, seconds, folder });
    parser.process(application);
    Options o;
    o.headless = parser.isSet(headless);
    o.seconds = parser.value(seconds).toInt();
    o.folder = QDir::cleanPath(parser.value(folder));
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || QByteArray(argv[i]) == "--headless";
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    platform::NameProgram();
    QApplication::setApplicationDisplayName(platform::ApplicationTitle);
    const Options options = readOptions(application);

    platform::RealClock clock;
    platform::ScopedClock useClock(clock);
    // Offscreen nobody could close a message box: it goes to standard error instead.
    platform::ConsoleDesktop console;
    desktop::QtDesktop windows;
    platform::ScopedDesktop useDesktop(options.headless ? static_cast<platform::Desktop&>(console) : windows);

    // Settings of the demo's own, written afresh at every start.
    if (!QDir().mkpath(options.folder)) {
        std::fprintf(stderr, "caltrix-demo: cannot create the folder %s.\n", qPrintable(options.folder));
        return 1;
    }
    const QString settingsFile = QDir(options.folder).filePath(QStringLiteral("user.reg"));
    QFile::remove(settingsFile);
    hive::Hive settings(settingsFile);
    hive::ScopedCurrentUser useSettings(settings);
    const antsim::WorldOptions world = antlib::defaultWorldOptions();
    app::writeSampleSettings(settings, world.trainerNumber);

    demo::DemoRider rider;
    auto makeDevice = [&](platform::TComponent* Owner) {
        auto* device = new device::TTavorDeviceANT(Owner);
        device->SetAntLibraryFactory([&] {
            return std::make_unique<antlib::AntDriver>(clock,
                antlib::virtualStickFactory(clock, world, [&](antlib::SimTransport& stick) { rider.attach(stick.world().rider()); }));
        });
        return device;
    };
    // The demo's runs are kept beside its settings, apart from the rider's own. The script's third
    // of a minute a preset has room for a settling rider and a hold of 10 s.
    app::WindowRunOptions runOptions { QDir(options.folder).filePath(QStringLiteral("runs")), {} };
    if (options.headless)
        runOptions.holdSeconds = ScriptHoldSeconds;
    app::TForm1 Form1(makeDevice, runOptions);
    Form1.ShowCentred();
    demo::PresetFollower follower(Form1, rider);
    std::unique_ptr<demo::DemoScript> script;
    if (options.headless) {
        std::cout << "Caltrix demo on the virtual stick, settings in " << qPrintable(settingsFile) << '\n';
        script = std::make_unique<demo::DemoScript>(Form1, rider, options.seconds, options.folder, std::cout);
    }
    const int result = QApplication::exec();
    return script && script->pictureFailures() > 0 ? 1 : result;
}
