#pragma once

#include "antsim/SimWorld.h"

#include <string>
#include <string_view>
#include <vector>

namespace caltrix::antsim {

// One setting of the simulated world, as NAME=VALUE (or NAME alone for a switch). The same
// settings reach the world from CALTRIX_ANT=sim:NAME=VALUE,... and from antsim's --NAME VALUE.
struct WorldSetting {
    const char* name;
    const char* valueName; // null for a switch
    const char* help;
};

// `text` in double quotes for a message, with control characters written as \xNN, so that the
// message stays on one line whatever the user typed.
std::string quoted(std::string_view text);

// Every setting, in the order the help lists them.
const std::vector<WorldSetting>& worldSettings();

// Applies one setting to `options`. False with `error` set to one sentence naming the setting
// when the name is unknown or the value is not one the setting takes.
bool applyWorldSetting(std::string_view setting, WorldOptions& options, std::string& error);

} // namespace caltrix::antsim
