#include "DemoScript.h"

#include "antsim/RiderModel.h"
#include "app/FormItems.h"
#include "app/Unit1.h"
#include "app/settings/StoredSettings.h"
#include "platform/Platform.h"

#include <QDir>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

namespace caltrix::demo {

namespace {
// Each second the rider adds this share of the effort the missing speed needs, on top of this
// share of the last change: about 1 km/h past the target, then settled within about ten seconds.
constexpr double Correction = 0.7;
constexpr double Momentum = 0.25;
// The effort of a rider who has just got on.
constexpr double StartingEffort = 0.15;

QPushButton* presetButton(app::TForm1& form, int n)
{
    switch (n) {
    case 1:
        return form.Button1;
    case 2:
        return form.Button2;
    default:
        return form.Button3;
    }
}
} // namespace

// ---- the rider --------------------------------------------------------------------------------

void DemoRider::attach(antsim::RiderModel& rider)
{
    rider_ = &rider;
    rider_->setEffort(StartingEffort);
    effortChange_ = 0;
}

void DemoRider::followPreset(int n)
{
    targetKmh_ = app::ReadPresetSpeed(n);
    following_ = true;
}

void DemoRider::step()
{
    if (!rider_ || !following_)
        return;
    // The steady speed grows in proportion to the effort, at the level the trainer has taken.
    const double kmhPerEffort = antsim::RiderModel::steadySpeedKmh(1.0, rider_->resistance());
    effortChange_ = Momentum * effortChange_ + Correction * (targetKmh_ - rider_->speedKmh()) / kmhPerEffort;
    rider_->setEffort(rider_->effort() + effortChange_);
}

std::uint8_t DemoRider::trainerLevel() const { return rider_ ? rider_->resistance() : 0; }

PresetFollower::PresetFollower(app::TForm1& form, DemoRider& rider)
    : rider_(rider)
    , pedalling_(platform::clock(), 1000, [&rider] { rider.step(); })
{
    for (int n = 1; n <= 3; ++n)
        QObject::connect(presetButton(form, n), &QPushButton::clicked, &form, [this, n] { rider_.followPreset(n); });
    rider_.followPreset(1);
    pedalling_.setEnabled(true);
}

// ---- the script -------------------------------------------------------------------------------

DemoScript::DemoScript(app::TForm1& form, DemoRider& rider, int seconds, QString pictureFolder, std::ostream& out)
    : form_(form)
    , rider_(rider)
    , seconds_(std::max(seconds, 3))
    , pictureFolder_(std::move(pictureFolder))
    , out_(out)
    , timer_(platform::clock(), 1000, [this] { tick(); })
{
    timer_.setEnabled(true);
}

void DemoScript::tick()
{
    ++elapsed_;
    char line[240];
    std::snprintf(line, sizeof line, "%3d s  P%d  target %2d km/h  shown %-12s  trainer level %-3u  %s\n", elapsed_,
        preset_, app::ReadPresetSpeed(preset_), qPrintable(form_.lblSpeed->caption()), unsigned { rider_.trainerLevel() },
        qPrintable(form_.calibrationRuns().verdict().text()));
    out_ << line << std::flush;
    if (elapsed_ * 3 < seconds_ * preset_)
        return;
    printVerdict();
    savePicture();
    if (preset_ < 3) {
        press(preset_ + 1);
        return;
    }
    timer_.setEnabled(false);
    finished_ = true;
    form_.Button4->click();
}

void DemoScript::press(int preset)
{
    preset_ = preset;
    presetButton(form_, preset)->click();
}

void DemoScript::printVerdict()
{
    const runs::RunVerdict& verdict = form_.calibrationRuns().verdict();
    const QString preset = verdict.preset() ? runs::presetCaption(*verdict.preset()) : QStringLiteral("no preset");
    out_ << "      verdict: " << preset.toUtf8().constData() << ": " << qPrintable(verdict.outcome().text());
    if (const auto& steady = verdict.outcome().lastSteady)
        out_ << qPrintable(QStringLiteral(", mean %1 km/h, spread %2 km/h, held %3 s")
                               .arg(steady->meanKmh, 0, 'f', 2).arg(steady->spreadKmh, 0, 'f', 2).arg(steady->heldSeconds));
    out_ << '\n';
}

void DemoScript::savePicture()
{
    const QString path = QDir(pictureFolder_).filePath(QStringLiteral("caltrix-P%1.png").arg(preset_));
    if (form_.grab().save(path)) {
        out_ << "      picture: " << qPrintable(QDir::toNativeSeparators(path)) << '\n';
        return;
    }
    ++pictureFailures_;
    out_ << "      the picture " << qPrintable(path) << " cannot be written; is the folder there and writable?\n";
}

} // namespace caltrix::demo
