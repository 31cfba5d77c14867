// antsim: a serial ANT stick with the simulated world behind it, on a pseudo-terminal.
// The first line of standard output is the terminal's path, for CALTRIX_ANT=serial:PATH.

#include "antlib/NetworkKeys.h"
#include "antsim/MessageText.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>

using namespace caltrix;

namespace {

struct Fault {
    QString device;
    std::optional<double> seconds; // none: silent for good
};

[[noreturn]] void fail(const QString& text)
{
    std::fprintf(stderr, "antsim: %s\n", qPrintable(text));
    std::exit(2);
}

std::uint16_t deviceNumber(const QCommandLineParser& p, const char* option, std::uint16_t fallback)
{
    if (!p.isSet(option))
        return fallback;
    bool ok = false;
    const uint value = p.value(option).toUInt(&ok);
    if (!ok || value > 0xFFFF)
        fail(QString("--%1 needs a device number from 0 to 65535, not \"%2\".").arg(option, p.value(option)));
    return static_cast<std::uint16_t>(value);
}

double number(const QCommandLineParser& p, const char* option, double fallback, double low, double high)
{
    if (!p.isSet(option))
        return fallback;
    bool ok = false;
    const double value = p.value(option).toDouble(&ok);
    if (!ok || value < low || value > high)
        fail(QString("--%1 needs a number from %2 to %3, not \"%4\".").arg(option).arg(low).arg(high).arg(p.value(option)));
    return value;
}

Fault parseFault(const QString& text)
{
    const auto parts = text.split(':');
    Fault f { parts[0], std::nullopt };
    if (parts.size() == 2) {
        bool ok = false;
        f.seconds = parts[1].toDouble(&ok);
        if (!ok || *f.seconds < 0)
            fail(QString("--silent takes DEVICE or DEVICE:SECONDS, not \"%1\".").arg(text));
    } else if (parts.size() > 2) {
        fail(QString("--silent takes DEVICE or DEVICE:SECONDS, not \"%1\".").arg(text));
    }
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    platform::ProgramClock programClock;
    QCoreApplication::setApplicationName("antsim");
    std::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser p;
    p.setApplicationDescription(
        "A serial ANT stick with simulated radio devices, on a pseudo-terminal. Prints the terminal's path "
        "alone on the first line; then run Caltrix with CALTRIX_ANT=serial:PATH. Runs until interrupted.");
    p.addHelpOption();
    p.addOptions({
        { "no-trainer", "No native trainer (network 1) and no speed-and-cadence sensor." },
        { "compact-trainer", "Add a compact-protocol trainer on network 0." },
        { "no-heart-rate", "No heart-rate belt." },
        { "no-console", "No handlebar console." },
        { "trainer-number", "Device number of the trainer and its sensor (default 12345).", "N" },
        { "compact-number", "Device number of the compact trainer (default 23456).", "N" },
        { "heart-rate-number", "Device number of the heart-rate belt (default 4321).", "N" },
        { "console-number", "Device number of the console (default 777).", "N" },
        { "roll-diameter", "Roll diameter the sensor's wheel events are computed for (default 74).", "MM" },
        { "events-per-turn", "Wheel events per roller turn (default 1).", "N" },
        { "effort", "The rider's effort, 0 to 1 (default 0.7).", "E" },
        { "loss", "Share of packets lost, 0 to 1 (default 0).", "RATE" },
        { "silent", "Make a device silent: trainer, sensor (its speed-and-cadence sensor), compact-trainer, heart-rate or "
                    "console, for good or for SECONDS from the start. Repeatable.", "DEVICE[:SECONDS]" },
        { "mute", "A stick that answers nothing." },
        { "tx-events", "Also report transmit-slot events (3) on receiving channels, after each received message." },
        { { "vanish-after", "unplug-after" }, "Pull the stick out after SECONDS: the terminal hangs up and antsim ends.",
          "SECONDS" },
        { "stall-after", "The stick hangs after SECONDS: it stops reading the terminal and answers nothing more, "
                         "while the terminal stays open.", "SECONDS" },
        { "trainer-silent-after", "The trainer alone goes silent after SECONDS; the stick keeps answering.", "SECONDS" },
        { "seed", "Seed of the random choices (default 1).", "N" },
        { { "v", "verbose" }, "Print every message in and out in readable form on standard error." },
    });
    p.process(app);

    antsim::WorldOptions options;
    options.trainer = !p.isSet("no-trainer");
    options.compactTrainer = p.isSet("compact-trainer");
    options.heartRate = !p.isSet("no-heart-rate");
    options.console = !p.isSet("no-console");
    options.trainerNumber = deviceNumber(p, "trainer-number", options.trainerNumber);
    options.compactTrainerNumber = deviceNumber(p, "compact-number", options.compactTrainerNumber);
    options.heartRateNumber = deviceNumber(p, "heart-rate-number", options.heartRateNumber);
    options.consoleNumber = deviceNumber(p, "console-number", options.consoleNumber);
    options.rollDiameterMm = number(p, "roll-diameter", options.rollDiameterMm, 1, 10000);
    options.eventsPerTurn = static_cast<int>(number(p, "events-per-turn", options.eventsPerTurn, 1, 255));
    options.effort = number(p, "effort", options.effort, 0, 1);
    options.lossRate = number(p, "loss", 0, 0, 1);
    options.seed = static_cast<std::uint32_t>(number(p, "seed", 1, 0, 4294967295.0));
    options.transmitSlotEvents = p.isSet("tx-events");
    if (p.isSet("stall-after"))
        options.stallAfterS = number(p, "stall-after", 0, 0, 1e6);
    if (p.isSet("trainer-silent-after"))
        options.trainerSilentAfterS = number(p, "trainer-silent-after", 0, 0, 1e6);
    try {
        options.keyA = antlib::networkKeyA();
        options.keyB = antlib::networkKeyB();
    } catch (const platform::Error& e) {
        fail(e.message());
    }

    antsim::SimWorld world(platform::clock(), options);
    for (const auto& text : p.values("silent")) {
        const Fault f = parseFault(text);
        auto* device = world.device(f.device.toStdString());
        if (device == nullptr)
            fail(QString("--silent names \"%1\", which is not a device of this world.").arg(f.device));
        if (f.seconds)
            device->silenceUntil(static_cast<std::uint64_t>(*f.seconds * 1000));
        else
            device->silenceForever();
    }
    antsim::VirtualStick stick(world);
    stick.setMute(p.isSet("mute"));
    if (p.isSet("verbose")) {
        stick.onMessage = [](const antproto::AntMessage& m, bool toHost) {
            std::fprintf(stderr, "%s %s\n", toHost ? "<-" : "->", antsim::describe(m).c_str());
        };
    }
    antsim::PtyStick pty(stick);
    std::string error;
    if (!pty.start(error))
        fail(QString::fromStdString(error));
    std::printf("%s\n", pty.path().c_str());
    std::fflush(stdout);

    if (p.isSet("vanish-after")) {
        const double seconds = number(p, "vanish-after", 0, 0, 1e6);
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&pty] {
            pty.unplug();
            std::fprintf(stderr, "antsim: the stick was pulled out\n");
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
