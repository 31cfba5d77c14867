#include <QCoreApplication>

#include "PrivateUserFolders.h"

#include <gtest/gtest.h>

// The main() of a test without windows: a QCoreApplication for the event loop, then GoogleTest.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    caltrix::test::PrivateUserFolders userFolders;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
