#include "antsim/WorldSettings.h"

#include <charconv>
#include <optional>

namespace caltrix::antsim {

namespace {
// A fault or silence later than this (a year) is a typing error.
constexpr double MaxSeconds = 365.0 * 24 * 3600;

template <typename T>
std::optional<T> parseNumber(std::string_view text)
{
    T value {};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc {} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> parseIn(std::string_view text, double low, double high)
{
    const auto value = parseNumber<double>(text);
    if (!value || !(*value >= low && *value <= high))
        return std::nullopt;
    return value;
}

// A device number: 0 leaves the device out.
bool applyDevice(std::string_view value, bool& present, std::uint16_t& number)
{
    const auto n = parseNumber<std::uint16_t>(value);
    if (!n)
        return false;
    present = *n != 0;
    if (present)
        number = *n;
    return true;
}

bool applySilence(std::string_view value, WorldOptions& options)
{
    const auto colon = value.find(':');
    Silence silence { std::string(value.substr(0, colon)), std::nullopt };
    if (colon != std::string_view::npos) {
        silence.seconds = parseIn(value.substr(colon + 1), 0, MaxSeconds);
        if (!silence.seconds)
            return false;
    }
    if (!isDeviceName(silence.device))
        return false;
    options.silences.push_back(silence);
    return true;
}

// Applies NAME=VALUE to `o`; false when the value does not fit.
bool applyValue(std::string_view name, std::string_view value, WorldOptions& o)
{
    if (name == "trainer")
        return applyDevice(value, o.trainer, o.trainerNumber);
    if (name == "trainer2")
        return applyDevice(value, o.secondTrainer, o.secondTrainerNumber);
    if (name == "heart-rate")
        return applyDevice(value, o.heartRate, o.heartRateNumber);
    if (name == "console")
        return applyDevice(value, o.console, o.consoleNumber);
    if (name == "compact")
        return applyDevice(value, o.compactTrainer, o.compactTrainerNumber);
    if (name == "silent")
        return applySilence(value, o);
    if (name == "seed") {
        const auto seed = parseNumber<std::uint32_t>(value);
        o.seed = seed.value_or(o.seed);
        return seed.has_value();
    }
    if (name == "events-per-turn") {
        const auto n = parseNumber<int>(value);
        o.eventsPerTurn = n.value_or(o.eventsPerTurn);
        return n && *n >= 1 && *n <= 255;
    }
    struct Bounded {
        std::string_view name;
        double low, high;
        double* field;
    };
    const Bounded numbers[] = { { "loss", 0, 1, &o.lossRate }, { "effort", 0, 1, &o.effort },
                                { "roll-diameter", 1, 10000, &o.rollDiameterMm } };
    for (const auto& n : numbers) {
        if (name != n.name)
            continue;
        const auto v = parseIn(value, n.low, n.high);
        *n.field = v.value_or(*n.field);
        return v.has_value();
    }
    const std::pair<std::string_view, std::optional<double>*> cues[] = {
        { "stall-after", &o.stallAfterS }, { "vanish-after", &o.vanishAfterS },
        { "trainer-silent-after", &o.trainerSilentAfterS } };
    for (const auto& [cue, field] : cues) {
        if (name != cue)
            continue;
        *field = parseIn(value, 0, MaxSeconds);
        return field->has_value();
    }
    return false;
}
} // namespace

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char digits[] = "0123456789ABCDEF";
            out += { '\\', 'x', digits[byte >> 4], digits[byte & 0xF] };
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const std::vector<WorldSetting>& worldSettings()
{
    static const std::vector<WorldSetting> settings {
        { "trainer", "N", "Device number of the native trainer (network 1) and its speed-and-cadence sensor; 0 leaves "
                          "both out (default 12345)." },
        { "trainer2", "N", "Adds a second native trainer with its own speed-and-cadence sensor, both with this device "
                           "number, transmitting like the first; 0 leaves them out (the default)." },
        { "heart-rate", "N", "Device number of the heart-rate belt; 0 leaves it out (default 4321)." },
        { "console", "N", "Device number of the handlebar console; 0 leaves it out (default 777)." },
        { "compact", "N", "Adds a compact-protocol trainer on network 0 with this device number." },
        { "roll-diameter", "MM", "Roll diameter the sensor's wheel events are computed for (default 74)." },
        { "events-per-turn", "N", "Wheel events per roller turn (default 1)." },
        { "effort", "E", "The rider's effort, 0 to 1 (default 0.7)." },
        { "loss", "RATE", "Share of packets lost, 0 to 1 (default 0)." },
        { "seed", "N", "Seed of the random choices (default 1)." },
        { "silent", "DEVICE[:SECONDS]", "Makes a device silent: trainer, sensor (its speed-and-cadence sensor), "
                                        "trainer2, sensor2, compact-trainer, heart-rate or console, for good or for "
                                        "SECONDS from the start. Repeatable." },
        { "tx-events", nullptr, "Also reports transmit-slot events (3) on receiving channels, after each received "
                                "message." },
        { "no-id-list", nullptr, "A stick without the inclusion/exclusion list: its capabilities do not announce "
                                 "it and it refuses 0x59 and 0x5A as invalid messages." },
        { "stall-after", "SECONDS", "The stick hangs after SECONDS: it reads and answers nothing more, and stays "
                                    "plugged in." },
        { "vanish-after", "SECONDS", "The stick is pulled out after SECONDS." },
        { "trainer-silent-after", "SECONDS", "The trainer alone goes silent after SECONDS; the stick keeps "
                                             "answering." },
    };
    return settings;
}

bool applyWorldSetting(std::string_view setting, WorldOptions& options, std::string& error)
{
    const auto eq = setting.find('=');
    const auto name = setting.substr(0, eq);
    const WorldSetting* known = nullptr;
    for (const auto& s : worldSettings())
        if (name == s.name)
            known = &s;
    if (known != nullptr && known->valueName == nullptr && eq == std::string_view::npos) {
        if (name == "no-id-list")
            options.idList = false;
        else
            options.transmitSlotEvents = true;
        return true;
    }
    if (known != nullptr && known->valueName != nullptr && eq != std::string_view::npos
        && applyValue(name, setting.substr(eq + 1), options))
        return true;
    std::string names;
    for (const auto& s : worldSettings())
        names += std::string(names.empty() ? "" : ", ") + s.name + (s.valueName ? std::string("=") + s.valueName : "");
    error = known == nullptr ? quoted(setting) + " is not a setting of the simulated world; use " + names + "."
                             : quoted(setting) + " does not fit the setting " + known->name + "="
            + (known->valueName ? known->valueName : "") + ": " + known->help;
    return false;
}

} // namespace caltrix::antsim
