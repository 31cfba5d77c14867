#include "app/CommandLine.h"

namespace caltrix::app {

namespace {

const QString HelpText = QStringLiteral(
    "Usage: caltrix [Qt options] [--settings]\n"
    "Calibrates a Tavor stationary bicycle trainer over ANT radio: each preset button sends a\n"
    "resistance level to the trainer and marks a target speed; the live speed follows once a second.\n"
    "\n"
    "The run strip below the window says whether the speed is held: \"settling\" until the running\n"
    "average of the speed (run-average, default 3 s) has stayed within the target +/- run-band\n"
    "(default 0.5 km/h) for run-hold (default 30 s), then \"steady\" with the mean and spread of the\n"
    "speed. The key T, or the context menu (right click, or the Menu key), hides and shows it; the\n"
    "menu's Open runs folder shows the records.\n"
    "\n"
    "The keys 1, 2 and 3 press the presets (A and B in two-preset mode). The context menu's\n"
    "Settings... opens the settings dialog: the trainer's settings in the registry, the presets of\n"
    "its unit type, the run tolerances, and Find, which lists the trainers in range with their\n"
    "device numbers. When the registry names no trainer at all, the dialog opens at the start.\n"
    "\n"
    "SIGTERM, SIGINT (Ctrl+C) and SIGHUP (a logout) end Caltrix as Close does: the trainer's\n"
    "channels are closed, the stick is reset and the run is recorded; the exit status is 0.\n"
    "One Caltrix runs per session ($XDG_RUNTIME_DIR) and stick (CALTRIX_ANT as given, usb when\n"
    "unset): a second start brings the running window to the front, says so and exits with status 0.\n"
    "caltrix --settings may run beside it.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -v, --version    show the version and exit\n"
    "  --settings       show the settings dialog alone, then exit\n"
    "Qt's standard options, such as -platform offscreen, are accepted too.\n"
    "\n"
    "Environment:\n"
    "  CALTRIX_REGISTRY           the registry file with the trainer settings (otherwise\n"
    "                             $WINEPREFIX/user.reg, otherwise ~/.wine/user.reg)\n"
    "  CALTRIX_ANT                usb (default), serial:PATH[@BAUD] or sim (the built-in virtual stick)\n"
    "  CALTRIX_LOG, CALTRIX_RAW_LOG  files that receive the radio link's event and traffic logs\n"
    "\n"
    "Files:\n"
    "  $XDG_CONFIG_HOME/caltrix/caltrix.conf (~/.config/caltrix/caltrix.conf)\n"
    "        Caltrix's own settings: the run strip shown or not, and its tolerances.\n"
    "  $XDG_DATA_HOME/caltrix/runs/ (~/.local/share/caltrix/runs/)\n"
    "        The run records, one CSV file per start of Caltrix, named by its start time\n"
    "        (2026-12-10T16-28-00.csv).\n"
    "  Caltrix writes the settings file when the strip is hidden or shown and from the settings\n"
    "  dialog, and the records while it runs. It writes the trainer's settings in the registry only\n"
    "  from the settings dialog, as caltrix-settings does (refused while Wine runs in the prefix).\n"
    "\n"
    "Run records:\n"
    "  A run lasts from a preset applied (P1 on connecting) to the next preset or Close. The file\n"
    "  has one header line, then for each run one line per second and one end line, each written\n"
    "  as it is made. Comma-separated, UTF-8, a point as the decimal separator, ISO 8601 times;\n"
    "  every line has these 16 fields:\n"
    "  run, started, device, unit_type, roll_diameter, events_per_turn, preset, target_kmh, level\n"
    "        the run's number in the file, its start, the trainer's settings, the preset (P1),\n"
    "        its target speed and resistance level; on every line of the run\n"
    "  second, speed_kmh, in_band\n"
    "        a line per second: seconds since the run started, the live speed, 1 when the running\n"
    "        average was within the band (else 0); empty on the end line\n"
    "  verdict, mean_kmh, spread_kmh, held_s\n"
    "        the end line: \"steady\" when the hold was reached, with the mean and spread (standard\n"
    "        deviation) of the speed over the last hold window and how long it was held; otherwise\n"
    "        \"not steady\" and empty fields; empty on the lines per second\n");

} // namespace

std::optional<CommandLineAnswer> AnswerBeforeStart(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return CommandLineAnswer { HelpText, 0, false };
        if (a == QLatin1String("--version") || a == QLatin1String("-v"))
            return CommandLineAnswer { QStringLiteral("caltrix " CALTRIX_VERSION "\n"), 0, false };
    }
    return std::nullopt;
}

bool SettingsOnly(const QStringList& argumentsAfterQt)
{
    return argumentsAfterQt.size() == 2 && argumentsAfterQt.at(1) == QLatin1String("--settings");
}

std::optional<CommandLineAnswer> RefuseLeftovers(const QStringList& argumentsAfterQt)
{
    if (argumentsAfterQt.size() <= 1 || SettingsOnly(argumentsAfterQt))
        return std::nullopt;
    const QString& refused = argumentsAfterQt.at(argumentsAfterQt.at(1) == QLatin1String("--settings") ? 2 : 1);
    return CommandLineAnswer {
        QStringLiteral("caltrix: unknown argument '%1'; caltrix takes --settings alone (see caltrix --help).\n")
            .arg(refused),
        2, true };
}

} // namespace caltrix::app
