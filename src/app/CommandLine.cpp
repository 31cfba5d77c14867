#include "app/CommandLine.h"

namespace caltrix::app {

namespace {

const QString HelpText = QStringLiteral(
    "Usage: caltrix [Qt options]\n"
    "Calibrates a Tavor stationary bicycle trainer over ANT radio: each preset button sends a\n"
    "resistance level to the trainer and marks a target speed; the live speed follows once a second.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -v, --version    show the version and exit\n"
    "Qt's standard options, such as -platform offscreen, are accepted too.\n"
    "\n"
    "Environment:\n"
    "  CALTRIX_REGISTRY           the registry file with the trainer settings (otherwise\n"
    "                             $WINEPREFIX/user.reg, otherwise ~/.wine/user.reg)\n"
    "  CALTRIX_ANT                usb (default), serial:PATH[@BAUD] or sim (the built-in virtual stick)\n"
    "  CALTRIX_LOG, CALTRIX_RAW_LOG  files that receive the radio link's event and traffic logs\n");

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

std::optional<CommandLineAnswer> RefuseLeftovers(const QStringList& argumentsAfterQt)
{
    if (argumentsAfterQt.size() <= 1)
        return std::nullopt;
    return CommandLineAnswer {
        QStringLiteral("caltrix: unknown argument '%1'; caltrix takes no arguments of its own (see caltrix --help).\n")
            .arg(argumentsAfterQt.at(1)),
        2, true };
}

} // namespace caltrix::app
