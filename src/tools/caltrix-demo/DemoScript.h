#pragma once

#include "platform/PeriodicTimer.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <ostream>

namespace caltrix::antsim {
class RiderModel;
}
namespace caltrix::app {
class TForm1;
}

namespace caltrix::demo {

// The rider of the demo: settles at the target speed of the preset last applied, as a rider
// calibrating the trainer does: speeds up (or eases off), overshoots a little, and holds the target
// by feel, correcting the slow swings of the legs once a second.
class DemoRider {
public:
    // The simulated rider to steer (it lives in the virtual stick's world); starts gently.
    void attach(antsim::RiderModel& rider);
    // Preset `n` (1..3) was applied: aim for its stored target speed.
    void followPreset(int n);
    // Once a second: the effort changes by what the speed lacks, with some momentum.
    void step();
    // The level the simulated trainer last received from the radio.
    std::uint8_t trainerLevel() const;

private:
    antsim::RiderModel* rider_ = nullptr;
    double targetKmh_ = 0;
    double effortChange_ = 0;
    bool following_ = false;
};

// Steers the rider by the window's preset buttons: whatever preset the user presses, the rider
// aims for it, and the first preset, applied at start-up, at once.
class PresetFollower {
public:
    PresetFollower(app::TForm1& form, DemoRider& rider);

private:
    DemoRider& rider_;
    platform::PeriodicTimer pedalling_;
};

// The scripted demo for a machine without a display: presses P1, P2 and P3 in turn for a third of
// `seconds` each, prints one line a second (time, preset, target speed, the speed the window
// shows, the level the simulated trainer received, the run strip's verdict), and at the end of
// each preset the run's verdict and a picture of the window written into `pictureFolder`; then
// closes the window with its Close button.
class DemoScript {
public:
    DemoScript(app::TForm1& form, DemoRider& rider, int seconds, QString pictureFolder, std::ostream& out);

    bool finished() const { return finished_; }
    // Pictures that could not be written, each said on the output.
    int pictureFailures() const { return pictureFailures_; }

private:
    void tick();
    void press(int preset);
    void printVerdict();
    void savePicture();

    app::TForm1& form_;
    DemoRider& rider_;
    int seconds_;
    QString pictureFolder_;
    std::ostream& out_;
    platform::PeriodicTimer timer_;
    int elapsed_ = 0;
    int preset_ = 1;
    bool finished_ = false;
    int pictureFailures_ = 0;
};

} // namespace caltrix::demo
