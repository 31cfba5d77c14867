#include "app/TrainerFinder.h"

#include "platform/Error.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace caltrix::app {

namespace {
constexpr std::uint32_t ProgressStepMs = 250;
constexpr int NumberRole = Qt::UserRole;

// The ends that leave the rider something to fix before a search can hear anything.
bool isTrouble(device::SearchEnd end)
{
    using End = device::SearchEnd;
    return end == End::NoStick || end == End::StickLost || end == End::NoFreeChannel || end == End::Refused;
}

class DeviceSearchRun final : public TrainerSearchRun {
public:
    DeviceSearchRun(const DeviceSearchStart& start, Events events)
    {
        device::SearchCallbacks callbacks;
        callbacks.found = [found = std::move(events.found)](const device::FoundTrainer& trainer) {
            found(trainer.deviceNumber);
        };
        callbacks.finished = [finished = std::move(events.finished)](device::SearchEnd end, const QString& detail) {
            finished(ant::searchEndText(end, detail), isTrouble(end));
        };
        search_ = start(std::move(callbacks));
    }
    // Destroying the search ends it without a report, and lets go of a stick of its own at once.
    void cancel() override
    {
        if (search_)
            elapsedMs_ = search_->elapsedMs();
        search_.reset();
    }
    std::uint32_t elapsedMs() const override { return search_ ? search_->elapsedMs() : elapsedMs_; }

private:
    std::unique_ptr<device::TrainerSearch> search_;
    std::uint32_t elapsedMs_ = 0;
};

} // namespace

TrainerSearchStart deviceTrainerSearch(DeviceSearchStart start)
{
    return [start = std::move(start)](TrainerSearchRun::Events events) -> std::unique_ptr<TrainerSearchRun> {
        return std::make_unique<DeviceSearchRun>(start, std::move(events));
    };
}

TrainerFinder::TrainerFinder(TrainerSearchStart start, QWidget* parent)
    : QWidget(parent)
    , start_(std::move(start))
    , progressTimer_(platform::clock(), ProgressStepMs, [this] { showProgress(); })
{
    setObjectName(QStringLiteral("TrainerFinder"));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, static_cast<int>(SearchMs / 1000));
    progress_->setFormat(QStringLiteral("%v s of %m s"));
    progress_->setAccessibleName(QStringLiteral("Search progress"));
    stop_ = new QPushButton(QStringLiteral("&Stop"), this);
    stop_->setObjectName(QStringLiteral("StopSearch"));
    stop_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, [this] { stop(); });
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("FoundTrainers"));
    list_->setAccessibleName(QStringLiteral("Trainers found; choose one to use its device number"));
    list_->setMaximumHeight(list_->fontMetrics().height() * 5);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && onChosen)
            onChosen(static_cast<std::uint16_t>(item->data(NumberRole).toUInt()));
    });
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("SearchStatus"));
    status_->setWordWrap(true);
    layout->addWidget(progress_, 0, 0);
    layout->addWidget(stop_, 0, 1);
    layout->addWidget(list_, 1, 0, 1, 2);
    layout->addWidget(status_, 2, 0, 1, 2);
}

TrainerFinder::~TrainerFinder() { stop(); }

void TrainerFinder::start()
{
    stop();
    ended_.reset();
    list_->clear();
    progress_->setValue(0);
    status_->setText(QStringLiteral("Searching for trainers in range: make sure yours is switched on and turn its wheel."));
    stop_->setEnabled(true);
    TrainerSearchRun::Events events;
    events.found = [this](std::uint16_t number) { found(number); };
    events.finished = [this](const QString& why, bool trouble) { finished(why, trouble); };
    try {
        run_ = start_(std::move(events));
    } catch (const platform::Error& e) {
        // A setting the search needs is wrong (a malformed network key, say): said, not thrown
        // through the dialog's event loop.
        finished(e.message(), true);
        return;
    }
    if (run_)
        progressTimer_.setEnabled(true);
}

void TrainerFinder::stop()
{
    progressTimer_.setEnabled(false);
    if (!run_)
        return;
    // The run goes before anything else happens: cancelling may still report its end.
    const std::unique_ptr<TrainerSearchRun> run = std::move(run_);
    run->cancel();
    stop_->setEnabled(false);
    if (status_->text().startsWith(QLatin1String("Searching")))
        status_->setText(list_->count() ? QStringLiteral("Search stopped.") : QStringLiteral("Search stopped; no trainer was heard."));
}

void TrainerFinder::found(std::uint16_t deviceNumber)
{
    const bool stored = QString::number(deviceNumber) == currentNumber_;
    auto* item = new QListWidgetItem(
        stored ? QStringLiteral("%1 (the stored trainer)").arg(deviceNumber) : QString::number(deviceNumber), list_);
    item->setData(NumberRole, deviceNumber);
}

void TrainerFinder::finished(const QString& why, bool trouble)
{
    progressTimer_.setEnabled(false);
    stop_->setEnabled(false);
    showProgress();
    QString text = why;
    if (!trouble && list_->count() > 0)
        text = QStringLiteral("Choose your trainer in the list. ") + why;
    status_->setText(text);
    // The run ended by itself and is inside its own call now: it is freed later, not here.
    ended_ = std::move(run_);
}

void TrainerFinder::showProgress()
{
    if (const TrainerSearchRun* run = run_ ? run_.get() : ended_.get())
        progress_->setValue(static_cast<int>(std::min(run->elapsedMs(), SearchMs) / 1000));
}

QString TrainerFinder::status() const { return status_->text(); }
int TrainerFinder::progress() const { return progress_->value(); }

} // namespace caltrix::app
