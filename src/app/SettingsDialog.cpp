#include "app/SettingsDialog.h"

#include "app/settings/SettingNames.h"
#include "hive/CurrentUser.h"
#include "hive/HiveError.h"
#include "platform/Desktop.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "runs/RunSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace caltrix::app {

namespace {

// The trainer models of the calibration store, and 13, whose roll diameter follows the
// circumference typed into the window.
constexpr int LastModel = 11;
constexpr int CircumferenceUnitType = 13;

const QStringList PresetNames { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("A"),
    QStringLiteral("B") };

QString runFieldName(const char* name) { return QLatin1String(name); }

// The text a field shows for a stored value: what the registry holds, as Caltrix reads it.
QString shownText(const TrainerSetting& setting, std::int32_t unitType)
{
    return storedText(setting, unitType).trimmed();
}

} // namespace

SettingsDialog::SettingsDialog(const Options& options, QWidget* parent)
    : QDialog(parent)
    , options_(options)
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QStringLiteral("Caltrix Settings"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createTrainerGroup());
    layout->addWidget(createPresetGroup());
    layout->addWidget(createRunGroup());
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("Refusal"));
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("color: #b00020"));
    refusal_->hide();
    layout->addWidget(refusal_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    layout->addWidget(buttons);
    loadTrainerSettings();
    loadPresets();
    loadRunSettings();
}

SettingsDialog::~SettingsDialog() = default;

QLineEdit* SettingsDialog::addField(const QString& name, const QString& accessibleName)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setAccessibleName(accessibleName);
    edit->setPlaceholderText(QStringLiteral("not set"));
    fields_[name] = edit;
    return edit;
}

QLineEdit* SettingsDialog::field(const QString& name) const
{
    const auto found = fields_.find(name);
    return found == fields_.end() ? nullptr : found->second;
}

// ---- the trainer ------------------------------------------------------------------------------

QGroupBox* SettingsDialog::createTrainerGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Trainer (Wine registry)"), this);
    trainerForm_ = new QFormLayout(group);
    unitType_ = new QComboBox(group);
    unitType_->setObjectName(QStringLiteral("UnitType"));
    unitType_->setAccessibleName(QStringLiteral("Unit type"));
    unitType_->setPlaceholderText(QStringLiteral("choose the trainer's unit type"));
    for (int type = 1; type <= LastModel; ++type)
        unitType_->addItem(QString::number(type), type);
    unitType_->addItem(QStringLiteral("13 (roll diameter from the circumference)"), CircumferenceUnitType);
    trainerForm_->addRow(QStringLiteral("&Unit type:"), unitType_);

    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(addField(QStringLiteral("TrainerDeviceNumber"), QStringLiteral("Trainer device number")), 1);
    findButton_ = new QPushButton(QStringLiteral("&Find"), group);
    findButton_->setObjectName(QStringLiteral("FindButton"));
    findButton_->setAccessibleName(QStringLiteral("Find trainers in range"));
    findButton_->setAutoDefault(false);
    findButton_->setVisible(bool(options_.searchTrainers));
    connect(findButton_, &QPushButton::clicked, this, [this] { startFind(); });
    numberRow->addWidget(findButton_);
    // A row of two needs its label's buddy named, or the label shows its & instead of a shortcut.
    auto* numberLabel = new QLabel(QStringLiteral("Trainer &device number:"), group);
    numberLabel->setBuddy(field(QStringLiteral("TrainerDeviceNumber")));
    trainerForm_->addRow(numberLabel, numberRow);
    deviceNumberNote_ = new QLabel(QStringLiteral("A new device number takes effect at the next start of Caltrix."), group);
    deviceNumberNote_->setObjectName(QStringLiteral("DeviceNumberNote"));
    deviceNumberNote_->setWordWrap(true);
    deviceNumberNote_->hide();
    trainerForm_->addRow(QString(), deviceNumberNote_);
    connect(field(QStringLiteral("TrainerDeviceNumber")), &QLineEdit::textEdited, this, [this] {
        deviceNumberNote_->setVisible(options_.windowRunning);
    });

    QLineEdit* roll = addField(QStringLiteral("RollDiameter"), QStringLiteral("Roll diameter"));
    roll->setToolTip(QStringLiteral("A positive number, written with your locale's decimal separator (\"%1\").")
                         .arg(platform::decimalSeparator()));
    trainerForm_->addRow(QStringLiteral("&Roll diameter:"), roll);
    trainerForm_->addRow(QStringLiteral("&Wheel events per roller turn:"),
        addField(QStringLiteral("EventPerTurn"), QStringLiteral("Wheel events per roller turn")));
    connect(unitType_, &QComboBox::currentIndexChanged, this, [this] { unitTypeChosen(); });
    return group;
}

void SettingsDialog::loadTrainerSettings()
{
    for (const char* name : { "TrainerDeviceNumber", "RollDiameter", "EventPerTurn" }) {
        const QString text = shownText(*findTrainerSetting(QLatin1String(name)), 0);
        field(QLatin1String(name))->setText(text);
        loaded_[QLatin1String(name)] = text;
    }
    loadedUnitType_ = shownText(*findTrainerSetting(QStringLiteral("UnitType")), 0);
    bool isNumber = false;
    const int stored = loadedUnitType_.toInt(&isNumber);
    const QSignalBlocker quiet(unitType_);
    if (!isNumber) {
        unitType_->setCurrentIndex(-1);
        return;
    }
    if (unitType_->findData(stored) < 0)
        unitType_->addItem(QString::number(stored), stored);
    unitType_->setCurrentIndex(unitType_->findData(stored));
}

std::int32_t SettingsDialog::chosenUnitType() const
{
    return unitType_->currentIndex() < 0 ? 0 : unitType_->currentData().toInt();
}

// ---- the presets ------------------------------------------------------------------------------

QGroupBox* SettingsDialog::createPresetGroup()
{
    presets_ = new QGroupBox(this);
    auto* form = new QFormLayout(presets_);
    for (const QString& preset : PresetNames) {
        auto* row = new QHBoxLayout;
        row->addWidget(addField(QStringLiteral("Speed") + preset, QStringLiteral("P%1 target speed in km/h").arg(preset)));
        row->addWidget(new QLabel(QStringLiteral("km/h at level"), presets_));
        row->addWidget(addField(QStringLiteral("Resist") + preset, QStringLiteral("P%1 resistance level").arg(preset)));
        auto* label = new QLabel(QStringLiteral("P%1:").arg(preset), presets_);
        label->setBuddy(field(QStringLiteral("Speed") + preset));
        form->addRow(label, row);
    }
    auto* note = new QLabel(QStringLiteral("PA and PB replace P1 to P3 when PA's speed is set and not 0."), presets_);
    note->setWordWrap(true);
    form->addRow(note);
    return presets_;
}

void SettingsDialog::loadPresets()
{
    const std::int32_t unitType = chosenUnitType();
    presets_->setTitle(unitType == 0 ? QStringLiteral("Presets (choose a unit type first)")
                                     : QStringLiteral("Presets of unit type %1").arg(unitType));
    presets_->setEnabled(unitType != 0);
    for (const QString& preset : PresetNames) {
        for (const QString& name : { QStringLiteral("Speed") + preset, QStringLiteral("Resist") + preset }) {
            const QString text = unitType == 0 ? QString() : shownText(*findTrainerSetting(name), unitType);
            field(name)->setText(text);
            loaded_[name] = text;
        }
    }
}

void SettingsDialog::unitTypeChosen()
{
    // The presets shown are always those of the unit type chosen, as stored.
    loadPresets();
    showRefusal({}, nullptr);
}

// ---- the run settings -------------------------------------------------------------------------

QGroupBox* SettingsDialog::createRunGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Calibration runs (Caltrix's own settings)"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Tolerance &band (km/h):"),
        addField(runFieldName("run-band"), QStringLiteral("Tolerance band in km/h")));
    form->addRow(QStringLiteral("&Averaging window (s):"),
        addField(runFieldName("run-average"), QStringLiteral("Averaging window in seconds")));
    form->addRow(QStringLiteral("&Hold time (s):"), addField(runFieldName("run-hold"), QStringLiteral("Hold time in seconds")));
    runStrip_ = new QCheckBox(QStringLiteral("&Show the run strip"), group);
    runStrip_->setObjectName(QStringLiteral("run-strip"));
    form->addRow(runStrip_);
    return group;
}

void SettingsDialog::loadRunSettings()
{
    const runs::RunSettings run = runs::readRunSettings();
    const std::pair<const char*, QString> values[] = {
        { "run-band", QString::number(run.bandKmh) },
        { "run-average", QString::number(run.averageSeconds) },
        { "run-hold", QString::number(run.holdSeconds) },
    };
    for (const auto& [name, text] : values) {
        field(QLatin1String(name))->setText(text);
        loaded_[QLatin1String(name)] = text;
    }
    runStrip_->setChecked(run.stripShown);
    loadedRunStrip_ = run.stripShown;
}

// ---- Find -------------------------------------------------------------------------------------

void SettingsDialog::startFind()
{
    if (!options_.searchTrainers)
        return;
    if (!finder_) {
        finder_ = std::make_unique<TrainerFinder>(options_.searchTrainers, this);
        finder_->onChosen = [this](std::uint16_t number) { useFoundTrainer(number); };
        // Below the device number, the row it fills.
        trainerForm_->insertRow(2, QString(), finder_.get());
    }
    finder_->setCurrentNumber(field(QStringLiteral("TrainerDeviceNumber"))->text().trimmed());
    finder_->start();
}

void SettingsDialog::useFoundTrainer(std::uint16_t deviceNumber)
{
    field(QStringLiteral("TrainerDeviceNumber"))->setText(QString::number(deviceNumber));
    deviceNumberNote_->setVisible(options_.windowRunning);
}

// ---- storing ----------------------------------------------------------------------------------

QString SettingsDialog::refusal() const { return refusal_->text(); }

void SettingsDialog::showRefusal(const QString& text, QWidget* field)
{
    refusal_->setText(text);
    refusal_->setVisible(!text.isEmpty());
    if (field)
        field->setFocus();
}

// Every field is checked before anything is written, so that a refusal leaves the files as they were.
bool SettingsDialog::checkAll()
{
    for (const TrainerSetting& setting : trainerSettings()) {
        QLineEdit* edit = field(QLatin1String(setting.name));
        const QString text = edit ? edit->text().trimmed() : QString();
        if (!edit || text.isEmpty())
            continue;
        if (const QString refusal = refusalFor(setting, text); !refusal.isEmpty()) {
            showRefusal(refusal, edit);
            return false;
        }
    }
    const std::pair<const char*, QString (*)(const QString&)> runChecks[] = {
        { "run-band", [](const QString& t) { return runs::checkRunBand(t).refusal; } },
        { "run-average", [](const QString& t) { return runs::checkRunAverage(t).refusal; } },
        { "run-hold", [](const QString& t) { return runs::checkRunHold(t).refusal; } },
    };
    for (const auto& [name, check] : runChecks) {
        QLineEdit* edit = field(QLatin1String(name));
        if (edit->text().trimmed() == loaded_[QLatin1String(name)])
            continue;
        if (const QString refusal = check(edit->text().trimmed()); !refusal.isEmpty()) {
            showRefusal(refusal, edit);
            return false;
        }
    }
    showRefusal({}, nullptr);
    return true;
}

bool SettingsDialog::storeTrainer()
{
    std::vector<SettingChange> changes;
    const QString unitType = chosenUnitType() == 0 ? QString() : QString::number(chosenUnitType());
    if (unitType != loadedUnitType_)
        changes.push_back({ findTrainerSetting(QStringLiteral("UnitType")), unitType });
    for (const auto& [name, edit] : fields_) {
        const TrainerSetting* setting = findTrainerSetting(name);
        if (setting && setting->valueName != UnitTypeName && edit->text().trimmed() != loaded_[name])
            changes.push_back({ setting, edit->text().trimmed() });
    }
    if (changes.empty())
        return true;
    for (;;) {
        try {
            storeTrainerSettings(changes, chosenUnitType());
            break;
        } catch (const hive::HiveError& e) {
            // The file cannot be written now (Wine runs for the prefix, say): nothing was stored,
            // and the rider may fix the cause and try again.
            if (!platform::desktop().askToRetry({ QStringLiteral("The trainer settings cannot be stored: %1.").arg(e.message()),
                    platform::ApplicationTitle, platform::BoxIcon::Warning }))
                return false;
        } catch (const platform::Error& e) {
            showRefusal(e.message(), nullptr);
            return false;
        }
    }
    const QString number = field(QStringLiteral("TrainerDeviceNumber"))->text().trimmed();
    deviceNumberChanged_ = number != loaded_[QStringLiteral("TrainerDeviceNumber")];
    // What is stored now is what the next OK compares with.
    loadedUnitType_ = unitType;
    for (const auto& [name, edit] : fields_) {
        if (findTrainerSetting(name))
            loaded_[name] = edit->text().trimmed();
    }
    return true;
}

bool SettingsDialog::storeRun()
{
    try {
        for (const char* name : { "run-band", "run-average", "run-hold" }) {
            const QString text = field(QLatin1String(name))->text().trimmed();
            if (text == loaded_[QLatin1String(name)])
                continue;
            runs::storeRunSetting(QLatin1String(name), text);
            loaded_[QLatin1String(name)] = text;
        }
        if (runStrip_->isChecked() != loadedRunStrip_) {
            runs::storeRunStripShown(runStrip_->isChecked());
            loadedRunStrip_ = runStrip_->isChecked();
        }
    } catch (const platform::Error& e) {
        showRefusal(e.message(), nullptr);
        return false;
    }
    return true;
}

bool SettingsDialog::save() { return checkAll() && storeTrainer() && storeRun(); }

void SettingsDialog::accept()
{
    if (save())
        QDialog::accept();
}

void SettingsDialog::done(int result)
{
    // A search in progress ends with the dialog: its stick is let go before anything else uses it.
    if (finder_)
        finder_->stop();
    QDialog::done(result);
}

int runSettingsDialogAlone()
{
    SettingsDialog::Options options;
    options.searchTrainers = deviceTrainerSearch(
        [](device::SearchCallbacks callbacks) { return device::SearchTrainersAlone(std::move(callbacks)); });
    try {
        SettingsDialog dialog(options);
        dialog.exec();
        return 0;
    } catch (const platform::Error& e) {
        platform::desktop().showMessageBox({ QStringLiteral("The settings cannot be shown: %1").arg(e.message()),
            platform::ApplicationTitle, platform::BoxIcon::Error });
        return 1;
    }
}

} // namespace caltrix::app
