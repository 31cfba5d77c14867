#include "SettingsTool.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    caltrix::platform::NameProgram();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return caltrix::tools::runSettingsTool(app.arguments().mid(1), out, err);
}
