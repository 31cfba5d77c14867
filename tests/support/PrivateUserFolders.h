#pragma once

#include <QFile>
#include <QTemporaryDir>

namespace caltrix::test {

// For the whole test process: Caltrix's own settings file and run records go to folders of the
// process ($XDG_CONFIG_HOME and $XDG_DATA_HOME in a temporary folder), never the user's, and
// programs the tests start inherit them. A test that needs others sets them for its scope.
class PrivateUserFolders {
public:
    PrivateUserFolders()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_.filePath(QStringLiteral("data"))));
    }

private:
    QTemporaryDir home_;
};

} // namespace caltrix::test
