// The window's additions for the desktop: the context menu, the keys, the settings dialog and the
// buttons' names for screen readers.
#include "app/Unit1.h"

#include "app/SettingsDialog.h"
#include "app/WindowDispatch.h"
#include "app/settings/SettingRules.h"
#include "app/settings/StoredSettings.h"
#include "runs/RunSettings.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <exception>

namespace caltrix::app {

namespace {

// "Preset 2: 25 km/h at level 6", read as a preset press reads it; "Preset 2" alone when the
// settings cannot be read.
QString presetName(const QString& preset, std::int32_t (*speed)(), std::int32_t (*level)())
{
    try {
        return QStringLiteral("Preset %1: %2 km/h at level %3").arg(preset).arg(speed()).arg(level());
    } catch (const std::exception&) {
        return QStringLiteral("Preset ") + preset;
    }
}

std::int32_t speed1() { return ReadPresetSpeed(1); }
std::int32_t speed2() { return ReadPresetSpeed(2); }
std::int32_t speed3() { return ReadPresetSpeed(3); }
std::int32_t level1() { return ReadPresetResist(1); }
std::int32_t level2() { return ReadPresetResist(2); }
std::int32_t level3() { return ReadPresetResist(3); }

// A stored value names the trainer: a unit type or a device number in the registry.
bool anythingNamesATrainer()
{
    for (const char* name : { "UnitType", "TrainerDeviceNumber" }) {
        try {
            if (isStored(*findTrainerSetting(QLatin1String(name))))
                return true;
        } catch (const std::exception&) {
            return true; // a file that cannot be read is the designed start-up's to report
        }
    }
    return false;
}

} // namespace

// ---- the buttons' names -----------------------------------------------------------------------

void TForm1::namePresetButtons()
{
    if (TwoPresetMode) {
        Button1->setAccessibleName(presetName(QStringLiteral("A"), ReadSpeedA, ReadResistA));
        Button2->setAccessibleName(presetName(QStringLiteral("B"), ReadSpeedB, ReadResistB));
    } else {
        Button1->setAccessibleName(presetName(QStringLiteral("1"), speed1, level1));
        Button2->setAccessibleName(presetName(QStringLiteral("2"), speed2, level2));
        Button3->setAccessibleName(presetName(QStringLiteral("3"), speed3, level3));
    }
    Button4->setAccessibleName(QStringLiteral("Close"));
}

// ---- the settings dialog ----------------------------------------------------------------------

bool TForm1::runSettingsDialog(bool windowRunning)
{
    SettingsDialog::Options options;
    options.windowRunning = windowRunning;
    options.searchTrainers = searchTrainers_;
    SettingsDialog dialog(options, isVisible() ? this : nullptr);
    return runSettingsDialog_ ? runSettingsDialog_(dialog) : dialog.exec() == QDialog::Accepted;
}

void TForm1::openSettings()
{
    if (!runSettingsDialog(true))
        return;
    // As Caltrix reads them at their next use: the settings line now, the presets at the next
    // press; a new device number at the next start (the dialog said so).
    writeSettingsLine();
    usePresetMode(ReadSpeedA() != 0);
    namePresetButtons();
    useStoredRunSettings();
}

void TForm1::useStoredRunSettings()
{
    const runs::RunSettings run = runs::readRunSettings();
    runs_->useSettings(run);
    showRunStrip(run.stripShown);
}

bool TForm1::offerSettingsAtFirstStart()
{
    if (anythingNamesATrainer())
        return false;
    return runSettingsDialog(false);
}

// ---- the context menu -------------------------------------------------------------------------

QMenu* TForm1::createContextMenu()
{
    auto* menu = new QMenu(this);
    QAction* settings = menu->addAction(QStringLiteral("Settings..."));
    settings->setObjectName(QStringLiteral("SettingsAction"));
    connect(settings, &QAction::triggered, this, [this] { dispatch([this] { openSettings(); }); });
    menu->addSeparator();
    QAction* strip = menu->addAction(QStringLiteral("Run strip"));
    strip->setObjectName(QStringLiteral("RunStripAction"));
    strip->setCheckable(true);
    strip->setChecked(runStripShown_);
    strip->setShortcut(QKeySequence(Qt::Key_T));
    connect(strip, &QAction::triggered, this, [this] { dispatch([this] { toggleRunStrip(); }); });
    QAction* folder = menu->addAction(QStringLiteral("Open runs folder"));
    folder->setObjectName(QStringLiteral("OpenRunsFolderAction"));
    connect(folder, &QAction::triggered, this, [this] { dispatch([this] { openRunsFolder(); }); });
    return menu;
}

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(event->globalPos());
}

// ---- keys -------------------------------------------------------------------------------------

QPushButton* TForm1::presetButtonForKey(int key) const
{
    if (TwoPresetMode) {
        switch (key) {
        case Qt::Key_A: return Button1;
        case Qt::Key_B: return Button2;
        default: return nullptr;
        }
    }
    switch (key) {
    case Qt::Key_1: return Button1;
    case Qt::Key_2: return Button2;
    case Qt::Key_3: return Button3;
    default: return nullptr;
    }
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    // The circumference box takes its own keys: digits and T are typed there.
    const bool plainKey = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat();
    if (!plainKey || focusWidget() == editCirc) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_T) {
        dispatch([this] { toggleRunStrip(); });
        return;
    }
    if (QPushButton* button = presetButtonForKey(event->key()); button && button->isVisibleTo(this) && button->isEnabled()) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace caltrix::app
