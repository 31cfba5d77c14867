#include "platform/Platform.h"

#include <QApplication>

#include "PrivateUserFolders.h"

#include <gtest/gtest.h>

// The main() of a test that shows something: a QApplication and the program's clock, as the
// program starts, then GoogleTest. A test that needs a clock of its own installs it for its scope.
int main(int argc, char** argv)
{
    // Windows are never shown on a screen in tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    caltrix::platform::ProgramClock clock;
    caltrix::test::PrivateUserFolders userFolders;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
