#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace caltrix::antlib {

// Which sticks ANT_Init can open, from the environment variable CALTRIX_ANT:
//   usb (the default, also when unset or empty): the n-th native USB stick (0fcf:1008/1009);
//   serial:PATH[@BAUD][,PATH[@BAUD]...]: n indexes the list; without @BAUD the rate ANT_Init got;
//   sim[:SETTING,...]: the built-in virtual stick is number 0, numbers 1-7 are absent. Settings
//     change its world: trainer=N, heart-rate=N, console=N (device numbers, 0 leaves the device
//     out; the trainer's speed-and-cadence sensor shares its number), compact=N (adds a
//     compact-protocol trainer), loss=RATE (0 to 1), seed=N, tx-events (see VirtualStick), and
//     faults on cue, SECONDS after the stick was made: stall-after=SECONDS (the stick hangs: it
//     stops reading and answering), vanish-after=SECONDS (it is pulled out),
//     trainer-silent-after=SECONDS (the trainer alone goes silent; the stick keeps answering).
struct SerialPort {
    std::string path;
    std::optional<std::uint32_t> baudRate;
};

// The world of the virtual stick as the settings changed it; unset fields keep their defaults.
struct SimSettings {
    std::optional<std::uint16_t> trainer, heartRate, console, compactTrainer;
    std::optional<double> lossRate;
    std::optional<std::uint32_t> seed;
    bool transmitSlotEvents = false;
    std::optional<double> stallAfterS, vanishAfterS, trainerSilentAfterS;
};

struct AntConfig {
    enum class Kind { Usb, Serial, Sim };
    Kind kind = Kind::Usb;
    std::vector<SerialPort> serialPorts;
    SimSettings sim;
};

// Parses a CALTRIX_ANT value. On a malformed one returns nothing and sets `error` to one line.
std::optional<AntConfig> parseAntConfig(const std::string& value, std::string& error);

// The value of CALTRIX_ANT, or "" when unset.
std::string antConfigFromEnvironment();

} // namespace caltrix::antlib
