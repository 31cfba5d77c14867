#pragma once

#include "device/TavorDeviceInterface.h"
#include "platform/PeriodicTimer.h"
#include "platform/Platform.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace caltrix::app {

// A search for trainers in range as the radio side runs it: started by a TrainerSearchStart,
// it reports each trainer heard once and ends once, on the main thread.
class TrainerSearchRun {
public:
    struct Events {
        std::function<void(std::uint16_t deviceNumber)> found;
        // Why the search ended, as one sentence for the rider; `trouble` when it could not search
        // at all (no stick, say), so that nothing was heard for a reason the rider must fix.
        std::function<void(const QString& why, bool trouble)> finished;
    };
    virtual ~TrainerSearchRun() = default;
    // Ends the search at once (its channel closed); no more events arrive.
    virtual void cancel() = 0;
    // How far the search is, of SearchMs.
    virtual std::uint32_t elapsedMs() const = 0;
};
using TrainerSearchStart = std::function<std::unique_ptr<TrainerSearchRun>(TrainerSearchRun::Events)>;

// The search of the trainer device (on its open stick, or on one of its own), as `start` begins it.
using DeviceSearchStart = std::function<std::unique_ptr<device::TrainerSearch>(device::SearchCallbacks)>;
TrainerSearchStart deviceTrainerSearch(DeviceSearchStart start);

// The search's part of the settings dialog: a progress bar over the search's 30 s, the trainers
// heard so far (the stored one marked), what the search said at its end, and Stop. Choosing a
// trainer in the list hands its number to `onChosen`. Main thread only.
class TrainerFinder final : public QWidget {
public:
    static constexpr std::uint32_t SearchMs = 30000;

    explicit TrainerFinder(TrainerSearchStart start, QWidget* parent = nullptr);
    ~TrainerFinder() override;

    // The device number the settings hold now, so that the list can mark it.
    void setCurrentNumber(const QString& number) { currentNumber_ = number; }
    void start();
    void stop();
    bool searching() const { return run_ != nullptr; }

    std::function<void(std::uint16_t deviceNumber)> onChosen;

    QListWidget* list() const { return list_; }
    QString status() const;
    int progress() const;

private:
    void found(std::uint16_t deviceNumber);
    void finished(const QString& why, bool trouble);
    void showProgress();

    TrainerSearchStart start_;
    std::unique_ptr<TrainerSearchRun> run_;
    std::unique_ptr<TrainerSearchRun> ended_; // a run that ended by itself, freed at the next start
    QString currentNumber_;
    QProgressBar* progress_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* stop_ = nullptr;
    platform::PeriodicTimer progressTimer_;
};

} // namespace caltrix::app
