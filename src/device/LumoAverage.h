#pragma once

#include <cstdint>
#include <vector>

namespace caltrix::device {

// A moving average over a fixed number of the most recent values, newest first. Slots not yet
// filled count as 0.
class TLumoAverage {
public:
    TLumoAverage();
    ~TLumoAverage();

    std::vector<double> Values;

    // Puts Value in front; the oldest value falls out.
    void Add(double Value);
    // Resizes the window to Count slots, keeping the newest values; Count ≤ 0 changes nothing.
    void SetSize(std::int32_t Count);
    // The mean over all slots; 0 for an empty window.
    double GetAverage() const;
};

} // namespace caltrix::device
