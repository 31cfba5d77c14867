#include "antlib/AntConfig.h"

#include "antsim/WorldSettings.h"

#include <charconv>
#include <cstdlib>

namespace caltrix::antlib {

namespace {
std::optional<SerialPort> parsePort(std::string_view text, std::string& error)
{
    SerialPort port;
    const auto at = text.find('@');
    port.path = std::string(text.substr(0, at));
    if (port.path.empty()) {
        error = "CALTRIX_ANT names a serial stick without a path; write serial:/dev/ttyUSB0[@BAUD].";
        return std::nullopt;
    }
    if (at != std::string_view::npos) {
        const auto baudText = text.substr(at + 1);
        std::uint32_t baud = 0;
        const auto [end, ec] = std::from_chars(baudText.data(), baudText.data() + baudText.size(), baud);
        if (ec != std::errc {} || end != baudText.data() + baudText.size() || baud == 0) {
            error = "CALTRIX_ANT gives " + antsim::quoted(baudText) + " as the baud rate of " + antsim::quoted(port.path)
                + "; it must be a positive whole number such as 115200.";
            return std::nullopt;
        }
        port.baudRate = baud;
    }
    return port;
}
} // namespace

std::optional<AntConfig> parseAntConfig(const std::string& value, std::string& error)
{
    AntConfig config;
    if (value.empty() || value == "usb")
        return config;
    if (value == "sim" || value.starts_with("sim:")) {
        config.kind = AntConfig::Kind::Sim;
        std::string_view rest = std::string_view(value).substr(3);
        while (!rest.empty()) {
            rest.remove_prefix(1); // ':' or ','
            const auto comma = rest.find(',');
            const auto setting = rest.substr(0, comma);
            std::string why;
            if (!antsim::applyWorldSetting(setting, config.sim, why)) {
                error = "CALTRIX_ANT names the virtual stick, but " + why;
                return std::nullopt;
            }
            rest = comma == std::string_view::npos ? std::string_view {} : rest.substr(comma);
        }
        return config;
    }
    const std::string_view prefix = "serial:";
    if (value.starts_with(prefix)) {
        config.kind = AntConfig::Kind::Serial;
        std::string_view rest = std::string_view(value).substr(prefix.size());
        for (;;) {
            const auto comma = rest.find(',');
            auto port = parsePort(rest.substr(0, comma), error);
            if (!port)
                return std::nullopt;
            config.serialPorts.push_back(*port);
            if (comma == std::string_view::npos)
                break;
            rest = rest.substr(comma + 1);
        }
        return config;
    }
    error = "CALTRIX_ANT is " + antsim::quoted(value) + ", which names no ANT stick; use usb, sim[:SETTING,...] or serial:PATH[@BAUD][,PATH...].";
    return std::nullopt;
}

std::string antConfigFromEnvironment()
{
    const char* value = std::getenv("CALTRIX_ANT");
    return value != nullptr ? value : "";
}

} // namespace caltrix::antlib
