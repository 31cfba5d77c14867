#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace caltrix::app {

// What the program says and how it ends instead of opening its window.
struct CommandLineAnswer {
    QString text;
    int exitCode = 0;
    bool toStandardError = false;
};

// `caltrix --help` and `caltrix --version` (also -h, -v) answer before the application object
// exists, so that they need no display and open no stick. `arguments` is the whole command line,
// the program's name first; "--" ends the options.
std::optional<CommandLineAnswer> AnswerBeforeStart(const QStringList& arguments);

// The program's one argument of its own is --settings; Qt's options (-platform, -style, ...) are
// taken out by the application object. Anything else left over is refused with a pointer to --help.
std::optional<CommandLineAnswer> RefuseLeftovers(const QStringList& argumentsAfterQt);
// `caltrix --settings`: the settings dialog alone.
bool SettingsOnly(const QStringList& argumentsAfterQt);

} // namespace caltrix::app
