// antsim: a serial ANT stick with the simulated world behind it, on a pseudo-terminal.
// The first line of standard output is the terminal's path, for CALTRIX_ANT=serial:PATH.

#include "antlib/NetworkKeys.h"
#include "antsim/MessageText.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/WorldSettings.h"
#include "antsim/VirtualStick.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

using namespace caltrix;

namespace {

[[noreturn]] void fail(const QString& text)
{
    std::fprintf(stderr, "antsim: %s\n", qPrintable(text));
    std::exit(2);
}

// The world's settings as options of the same names: --trainer 0, --stall-after 5, --tx-events.
QList<QCommandLineOption> worldOptionsOfCommandLine()
{
    QList<QCommandLineOption> options;
    for (const auto& s : antsim::worldSettings())
        options.append(s.valueName ? QCommandLineOption(s.name, s.help, s.valueName) : QCommandLineOption(s.name, s.help));
    return options;
}

antsim::WorldOptions worldFromCommandLine(const QCommandLineParser& p)
{
    antsim::WorldOptions options;
    std::string error;
    for (const auto& s : antsim::worldSettings()) {
        if (!p.isSet(s.name))
            continue;
        const QStringList values = s.valueName ? p.values(s.name) : QStringList { QString() };
        for (const auto& value : values) {
            const std::string setting = s.valueName ? std::string(s.name) + "=" + value.toStdString() : s.name;
            if (!antsim::applyWorldSetting(setting, options, error))
                fail(QString::fromStdString(error));
        }
    }
    return options;
}

// One line on standard output, at once: a reader waits for it.
void report(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // Qt's usage line names the program by the path it was started with: show its name instead.
    static char programName[] = "antsim";
    argv[0] = programName;
    QCoreApplication app(argc, argv);
    platform::ProgramClock programClock;
    QCoreApplication::setApplicationName("antsim");
    std::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser p;
    p.setApplicationDescription(
        "A serial ANT stick with simulated radio devices, on a pseudo-terminal. Prints the terminal's path "
        "alone on the first line; then run Caltrix with CALTRIX_ANT=serial:PATH. Runs until interrupted. The "
        "world's options are the settings of CALTRIX_ANT=sim:NAME=VALUE,... under the same names. Reports each "
        "resistance level the trainer takes, each channel the host closes and each reset of the stick, one line "
        "each on standard output (\"resistance level 6\", \"channel 1 closed\", \"stick reset\").");
    p.addHelpOption();
    p.addOptions(worldOptionsOfCommandLine());
    p.addOptions({
        { "mute", "A stick that answers nothing." },
        { { "v", "verbose" }, "Print every message in and out in readable form on standard error." },
        { "version", "Show the version and exit." }, // -v is --verbose here
    });
    p.process(app);
    if (p.isSet("version")) {
        std::printf("antsim %s\n", CALTRIX_VERSION);
        return 0;
    }

    antsim::WorldOptions options = worldFromCommandLine(p);
    try {
        options.keyA = antlib::networkKeyA();
        options.keyB = antlib::networkKeyB();
    } catch (const platform::Error& e) {
        fail(e.message());
    }
    std::optional<antsim::SimWorld> world;
    try {
        world.emplace(platform::clock(), options);
    } catch (const platform::Error& e) {
        fail(e.message());
    }
    antsim::VirtualStick stick(*world);
    stick.setMute(p.isSet("mute"));
    // What the host did that a person (or a test) watches for, one line each on standard output.
    world->rider().onResistanceChanged = [](std::uint8_t level) { report("resistance level " + std::to_string(level)); };
    stick.onMessage = [verbose = p.isSet("verbose")](const antproto::AntMessage& m, bool toHost) {
        if (verbose)
            std::fprintf(stderr, "%s %s\n", toHost ? "<-" : "->", antsim::describe(m).c_str());
        if (!toHost && m.id == antproto::msg::CloseChannel)
            report("channel " + std::to_string(m.at(0)) + " closed");
        else if (!toHost && m.id == antproto::msg::ResetSystem)
            report("stick reset");
    };
    antsim::PtyStick pty(stick);
    std::string error;
    if (!pty.start(error))
        fail(QString::fromStdString(error));
    std::printf("%s\n", pty.path().c_str());
    std::fflush(stdout);

    return app.exec();
}
