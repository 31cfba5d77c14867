#pragma once

#include "Figure.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace caltrix::bench {

// The main() of every benchmark: the program is set up as Caltrix sets itself up (the application
// object of type `Application`, then its name and the program's clock), then the benchmarks run
// and their figures are printed. `applicationReady`, if given, runs once the application object
// exists, before anything else. Errors go to the console desktop: a benchmark has nobody to close
// a message box. Caltrix's own settings file and run records go to a folder of the benchmark
// ($XDG_CONFIG_HOME and $XDG_DATA_HOME), never the user's; programs it starts inherit them.
template <class Application = QCoreApplication>
int runBenchmarkProgram(int argc, char** argv, const std::function<void()>& applicationReady = {})
{
    Application application(argc, argv);
    if (applicationReady)
        applicationReady();
    platform::NameProgram();
    QTemporaryDir userFolders;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(userFolders.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(userFolders.filePath(QStringLiteral("data"))));
    platform::ProgramClock clock; // after the application object, whose event loop it wakes
    return runBenchmarksAndPrintFigures(argc, argv);
}

// For benchmarks that paint: Qt's offscreen platform unless one was chosen, which paints into
// memory as a window system's backing store does. Call it before the application object exists.
void paintOffscreenUnlessAPlatformIsChosen();

} // namespace caltrix::bench
