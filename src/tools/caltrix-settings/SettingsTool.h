#pragma once

#include <QStringList>
#include <QTextStream>

namespace caltrix::tools {

// The caltrix-settings command: shows the trainer settings as the calibration tool reads them
// from the current user's hive and changes them. `arguments` excludes the program name. Writes
// results to `out`, problems to `err`; returns the exit code (0 done, 1 failed, 2 bad usage).
int runSettingsTool(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace caltrix::tools
