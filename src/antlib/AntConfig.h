#pragma once

#include "antsim/SimWorld.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace caltrix::antlib {

// Which sticks ANT_Init can open, from the environment variable CALTRIX_ANT:
//   usb (the default, also when unset or empty): the n-th native USB stick (0fcf:1008/1009);
//   serial:PATH[@BAUD][,PATH[@BAUD]...]: n indexes the list; without @BAUD the rate ANT_Init got;
//   sim[:SETTING,...]: the built-in virtual stick is number 0, numbers 1-7 are absent. The
//     settings change its world, as antsim's options do (antsim/WorldSettings.h): device numbers
//     (trainer=N, heart-rate=N, console=N, 0 leaving the device out; compact=N, trainer2=N), faults
//     (loss, silent, and on cue stall-after, vanish-after, trainer-silent-after), a stick without
//     the inclusion/exclusion list (no-id-list) and the like.
struct SerialPort {
    std::string path;
    std::optional<std::uint32_t> baudRate;
};

struct AntConfig {
    enum class Kind { Usb, Serial, Sim };
    Kind kind = Kind::Usb;
    std::vector<SerialPort> serialPorts;
    antsim::WorldOptions sim; // the network keys are left to worldOptions()
};

// Parses a CALTRIX_ANT value. On a malformed one returns nothing and sets `error` to one line.
std::optional<AntConfig> parseAntConfig(const std::string& value, std::string& error);

// The value of CALTRIX_ANT, or "" when unset.
std::string antConfigFromEnvironment();

} // namespace caltrix::antlib
