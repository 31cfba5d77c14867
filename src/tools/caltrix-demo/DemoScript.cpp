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
// The share of the remaining effort a rider adds each second: settled within about three seconds.
constexpr double EffortEasing = 0.7;

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

void DemoRider::followPreset(int n)
{
    const double target = app::ReadPresetSpeed(n);
    const auto level = static_cast<std::uint8_t>(std::clamp(app::ReadPresetResist(n), 0, 255));
    // The steady speed grows in proportion to the effort.
    goalEffort_ = std::clamp(target / antsim::RiderModel::steadySpeedKmh(1.0, level), 0.0, 1.0);
    // The first target is where the rider starts from: the ride begins at the first preset.
    if (rider_ && !following_)
        rider_->setEffort(goalEffort_);
    following_ = true;
}

void DemoRider::step()
{
    if (rider_)
        rider_->setEffort(rider_->effort() + (goalEffort_ - rider_->effort()) * EffortEasing);
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
    char line[160];
    std::snprintf(line, sizeof line, "%3d s  P%d  target %2d km/h  shown %-12s  trainer level %u\n", elapsed_, preset_,
        app::ReadPresetSpeed(preset_), qPrintable(form_.lblSpeed->caption()), unsigned { rider_.trainerLevel() });
    out_ << line << std::flush;
    if (elapsed_ * 3 < seconds_ * preset_)
        return;
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
