#include <QApplication>

#include <gtest/gtest.h>

// The main() of a test that shows something: a QApplication, then GoogleTest.
int main(int argc, char** argv)
{
    // Windows are never shown on a screen in tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
