// Fuzz target: any text loaded as a resistance map either fails with an error or gives a table
// on which every operation answers without reading outside it.
#include "calibration/ResistanceMap.h"
#include "platform/Error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace caltrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    calibration::TResistanceMap map(nullptr);
    map.SetStrings(text.split(u'\n'));
    try {
        map.LoadMap();
    } catch (const platform::Error&) {
        return 0;
    }
    map.SetTavorVersion(size % 2 ? 3.5 : 4.0);
    map.SetResistanceMapAdapter(size > 0 ? data[0] / 64.0 : 1.0);
    map.ApplyAdapter();
    map.ComputePowerRange();
    const long double speeds[] = { 0, 0.5, 5, 10, 15, 20, 33.3L, 1e9L, -5 };
    const std::int32_t targets[] = { -100, 0, 60, 100, 300, 2147483647 };
    for (const long double speed : speeds) {
        for (const std::int32_t target : targets) {
            std::int32_t power = 12345;
            try {
                const std::uint8_t status = map.ClampTargetPower(speed, devicebase::umKm, target, power);
                if (status > 3 || (status == 3 && power != target) || (status == 0 && power != 12345)) {
                    std::fprintf(stderr, "resistance map fuzz: status %d power %d\n", status, power);
                    std::abort();
                }
            } catch (const platform::Error&) {
            }
        }
    }
    return 0;
}
