// Caltrix: the calibration window over the trainer device, on the real clock and the Qt desktop.
#include "app/CommandLine.h"
#include "app/ProgramEnd.h"
#include "app/SettingsDialog.h"
#include "app/SingleInstance.h"
#include "app/Unit1.h"
#include "device/TavorDeviceANT.h"
#include "platform/Clock.h"
#include "desktop/QtDesktop.h"
#include "platform/Platform.h"
#include "platform/TerminationSignals.h"

#include <QApplication>

#include <cstdio>

namespace {

int answer(const caltrix::app::CommandLineAnswer& a)
{
    std::fputs(qPrintable(a.text), a.toStandardError ? stderr : stdout);
    return a.exitCode;
}

QStringList argumentList(int argc, char** argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace caltrix;
    if (const auto early = app::AnswerBeforeStart(argumentList(argc, argv)))
        return answer(*early);

    QApplication application(argc, argv);
    if (const auto refused = app::RefuseLeftovers(QApplication::arguments()))
        return answer(*refused);
    platform::NameProgram();
    QApplication::setApplicationDisplayName(platform::ApplicationTitle);

    platform::ProgramClock clock; // after the application object, whose event loop it wakes
    desktop::QtDesktop qtDesktop;
    platform::ScopedDesktop useDesktop(qtDesktop);
    // A logout, Ctrl+C or kill ends Caltrix as Close does.
    const platform::TerminationSignals endOnSignal([](int) { app::EndOnSignal(); });

    if (app::SettingsOnly(QApplication::arguments()))
        return app::runSettingsDialogAlone();
    app::SingleInstance instance(app::StickOfThisStart(), app::BringWindowsToFront);
    if (const auto running = instance.claim())
        return answer(*running);
    app::TForm1 Form1([](platform::TComponent* Owner) { return new device::TTavorDeviceANT(Owner); });
    if (Form1.Closing())
        return 0; // asked to end during the start-up
    Form1.ShowCentred();
    return QApplication::exec();
}
