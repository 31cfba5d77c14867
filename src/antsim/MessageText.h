#pragma once

#include "antproto/AntMessage.h"

#include <string>

namespace caltrix::antsim {

// One message in readable form, for the verbose mode of antsim: its name, then the payload in hex,
// e.g. "AssignChannel [01 00 01]" or "ChannelEvent ch 1: SearchTimeout".
std::string describe(const antproto::AntMessage& message);

} // namespace caltrix::antsim
