#pragma once

#include "app/TrainerFinder.h"
#include "app/settings/SettingRules.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace caltrix::app {

// Everything Caltrix reads, in one standard dialog: the trainer's settings in the Wine registry
// (unit type, device number, roll diameter, wheel events per roller turn), the presets of the
// chosen unit type, and the run settings of Caltrix's own file. Nothing is written until OK;
// then only what changed is written, checked and stored by the same rules as caltrix-settings
// (a refusal is shown in the dialog, which stays open; a file that cannot be written, for example
// while Wine runs, is said in a box that offers to try again). An emptied field removes its value.
// Main thread only.
class SettingsDialog final : public QDialog {
public:
    struct Options {
        // The program's window is running: a changed device number then waits for the next start,
        // and the dialog says so.
        bool windowRunning = false;
        // Starts a search for trainers in range for the Find button; none hides the button.
        TrainerSearchStart searchTrainers;
    };

    explicit SettingsDialog(const Options& options, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Stores what changed. False, with the reason shown in the dialog or a box, when nothing or
    // not everything could be stored; the dialog then stays open.
    bool save();
    // The refusal shown in the dialog, empty while there is none.
    QString refusal() const;
    // Whether the device number stored by the last save differs from the one read at the start.
    bool deviceNumberChanged() const { return deviceNumberChanged_; }

    // The fields, by setting name (the command-line names: UnitType, Speed1, run-band, ...).
    QLineEdit* field(const QString& name) const;
    QComboBox* unitTypeBox() const { return unitType_; }
    QCheckBox* runStripBox() const { return runStrip_; }
    QPushButton* findButton() const { return findButton_; }
    TrainerFinder* finder() const { return finder_.get(); }

    void accept() override;
    void done(int result) override;

private:
    QGroupBox* createTrainerGroup();
    QGroupBox* createPresetGroup();
    QGroupBox* createRunGroup();
    QLineEdit* addField(const QString& name, const QString& accessibleName);
    void loadTrainerSettings();
    void loadPresets();
    void loadRunSettings();
    std::int32_t chosenUnitType() const;
    void unitTypeChosen();
    void startFind();
    void useFoundTrainer(std::uint16_t deviceNumber);
    bool checkAll();
    bool storeTrainer();
    bool storeRun();
    void showRefusal(const QString& text, QWidget* field);

    Options options_;
    std::map<QString, QLineEdit*> fields_;
    std::map<QString, QString> loaded_; // the text each field was loaded with
    QComboBox* unitType_ = nullptr;
    QString loadedUnitType_;
    QGroupBox* presets_ = nullptr;
    QCheckBox* runStrip_ = nullptr;
    bool loadedRunStrip_ = true;
    QPushButton* findButton_ = nullptr;
    QLabel* deviceNumberNote_ = nullptr;
    QFormLayout* trainerForm_ = nullptr;
    QLabel* refusal_ = nullptr;
    std::unique_ptr<TrainerFinder> finder_;
    bool deviceNumberChanged_ = false;
};

// `caltrix --settings`: the dialog alone; Find searches on a stick of its own. Returns the exit
// status: 0 after OK or Cancel, 1 when the registry cannot be read (said in a box).
int runSettingsDialogAlone();

} // namespace caltrix::app
