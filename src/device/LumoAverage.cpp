#include "device/LumoAverage.h"

#include <algorithm>

namespace caltrix::device {

TLumoAverage::TLumoAverage()
    : Values(1, 0.0)
{
}

TLumoAverage::~TLumoAverage() { Values.clear(); }

void TLumoAverage::Add(double Value)
{
    if (Values.empty())
        return;
    std::move_backward(Values.begin(), Values.end() - 1, Values.end());
    Values[0] = Value;
}

void TLumoAverage::SetSize(std::int32_t Count)
{
    if (Count > 0)
        Values.resize(static_cast<std::size_t>(Count), 0.0);
}

double TLumoAverage::GetAverage() const
{
    if (Values.empty())
        return 0;
    double sum = 0;
    for (double v : Values)
        sum += v;
    return sum / static_cast<double>(Values.size());
}

} // namespace caltrix::device
