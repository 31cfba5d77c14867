// Fuzz target: any CALTRIX_ANT value is either taken, and makes a world for the virtual stick, or
// refused with one line that names the setting.
#include "antlib/AntConfig.h"
#include "antlib/SimTransport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace caltrix::antlib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string value(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto config = parseAntConfig(value, error);
    if (!config) {
        if (error.empty() || error.find('\n') != std::string::npos || error.find("CALTRIX_ANT") == std::string::npos) {
            std::fprintf(stderr, "CALTRIX_ANT fuzz: refused without one line naming the setting: %s\n", error.c_str());
            std::abort();
        }
        return 0;
    }
    if (config->kind == AntConfig::Kind::Sim)
        (void)worldOptions(config->sim);
    return 0;
}
