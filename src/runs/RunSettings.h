#pragma once

namespace caltrix::runs {

// How a run is judged and shown. The defaults are what a rider gets without setting anything.
struct RunSettings {
    double bandKmh = 0.5; // the running average must stay within target ± band
    int averageSeconds = 3; // ticks in the running average
    int holdSeconds = 30; // how long the average must stay in the band to count as steady
    bool stripShown = true;
};

} // namespace caltrix::runs
