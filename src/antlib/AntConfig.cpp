#include "antlib/AntConfig.h"

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
            error = "CALTRIX_ANT gives \"" + std::string(baudText) + "\" as the baud rate of " + port.path
                + "; it must be a positive whole number such as 115200.";
            return std::nullopt;
        }
        port.baudRate = baud;
    }
    return port;
}
template <typename T>
std::optional<T> parseNumber(std::string_view text)
{
    T value {};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc {} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A fault later than this (a year) is a typing error.
constexpr double MaxCueSeconds = 365.0 * 24 * 3600;

// One sim setting, NAME=VALUE or a flag; false when it is not one.
bool parseSimSetting(std::string_view setting, SimSettings& sim)
{
    if (setting == "tx-events") {
        sim.transmitSlotEvents = true;
        return true;
    }
    const auto eq = setting.find('=');
    if (eq == std::string_view::npos)
        return false;
    const auto name = setting.substr(0, eq);
    const auto value = setting.substr(eq + 1);
    if (name == "loss") {
        const auto rate = parseNumber<double>(value);
        sim.lossRate = rate;
        return rate && *rate >= 0 && *rate <= 1;
    }
    for (auto [fault, field] : { std::pair { "stall-after", &sim.stallAfterS }, std::pair { "vanish-after", &sim.vanishAfterS },
             std::pair { "trainer-silent-after", &sim.trainerSilentAfterS } }) {
        if (name != fault)
            continue;
        *field = parseNumber<double>(value);
        return *field && **field >= 0 && **field <= MaxCueSeconds;
    }
    if (name == "seed") {
        sim.seed = parseNumber<std::uint32_t>(value);
        return sim.seed.has_value();
    }
    const auto number = parseNumber<std::uint16_t>(value);
    if (name == "trainer")
        sim.trainer = number;
    else if (name == "heart-rate")
        sim.heartRate = number;
    else if (name == "console")
        sim.console = number;
    else if (name == "compact")
        sim.compactTrainer = number;
    else
        return false;
    return number.has_value();
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
            if (!parseSimSetting(setting, config.sim)) {
                error = "CALTRIX_ANT has \"" + std::string(setting) + "\" among the settings of the virtual stick; use "
                        "trainer=N, heart-rate=N, console=N, compact=N, loss=RATE, seed=N, tx-events, stall-after=SECONDS, "
                        "vanish-after=SECONDS or trainer-silent-after=SECONDS.";
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
    error = "CALTRIX_ANT is \"" + value + "\", which names no ANT stick; use usb, sim[:SETTING,...] or serial:PATH[@BAUD][,PATH...].";
    return std::nullopt;
}

std::string antConfigFromEnvironment()
{
    const char* value = std::getenv("CALTRIX_ANT");
    return value != nullptr ? value : "";
}

} // namespace caltrix::antlib
