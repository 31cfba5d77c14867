#pragma once

#include "X11Session.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QTemporaryDir>

#include <initializer_list>

#include <gtest/gtest.h>

namespace caltrix::e2e {

// The windows as the X server names them.
inline const QString MainWindow = QStringLiteral("^Form1");
inline const QString WaitNotice = QStringLiteral("^Statut de l");
inline const QString MessageBox = QStringLiteral("^Caltrix$");

// The device number of antsim's trainer, which the settings name.
constexpr std::uint16_t TrainerNumber = 12345;

// The window's designed area in its border, without the run strip below it.
QRect designedArea(const QRect& mainWindow);

// Paints a picture's changing parts over in one grey, so that it compares with a stored picture.
void paintOver(QImage& picture, std::initializer_list<QRect> areas);

// The real caltrix program with settings of the test's own (unit type 5, presets 15, 25 and
// 35 km/h at levels 3, 6 and 9), on the display that `displayEnvironment` names.
class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The environment that puts caltrix on the test's display.
    virtual QProcessEnvironment displayEnvironment() const = 0;
    // Starts caltrix with CALTRIX_ANT=`ant`, with Caltrix's own settings and records in folders of
    // the test ($XDG_CONFIG_HOME is `folder`/config, $XDG_DATA_HOME `folder`/data).
    void startCaltrix(const QString& ant);
    // The environment startCaltrix gives caltrix; another caltrix of the test names `own`, a
    // prefix for its settings, records and log ("other-"), and shares the test's session.
    QProcessEnvironment caltrixEnvironment(const QString& ant, const QString& own = {}) const;
    // The test's runtime folder ($XDG_RUNTIME_DIR), private as a session's is (mode 0700).
    QString runtimeFolder() const;
    // Expects caltrix to end well, once asked to close.
    void expectExit();
    // What caltrix wrote on its standard error so far.
    QString caltrixErrors();

    QTemporaryDir folder;
    QString registry;
    QProcess caltrix;
    QString caltrixStderr;
};

// The real caltrix program on a real X server, driven by real pointer clicks.
class ProgramTest : public ProgramRun {
protected:
    void SetUp() override;
    QProcessEnvironment displayEnvironment() const override { return x.environment(); }

    // Clicks the centre of a control of the main window, given by its place in the client area.
    void press(const QRect& mainWindow, const QRect& control);
    // The main window as the screen shows it, with the parts that follow the live speed (the
    // speed label and the arrow) painted over, so that it compares with a stored picture.
    QImage steadyParts(const QRect& mainWindow) const;
    // The speed the arrow points at on the scale, from the red of the arrow on the screen; none
    // when no arrow is seen.
    std::optional<double> arrowSpeed(const QRect& mainWindow) const;
    // After the stick went: caltrix says so and the arrow goes back to where it was designed.
    void expectTheStickReportedLost(const QRect& mainWindow);
    // Closes with Close and expects caltrix to end well.
    void closeAndExpectExit(const QRect& mainWindow);

    XSession x;
};

} // namespace caltrix::e2e
