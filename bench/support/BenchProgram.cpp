#include "BenchProgram.h"

namespace caltrix::bench {

void paintOffscreenUnlessAPlatformIsChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace caltrix::bench
