#pragma once

#include "antlib/NetworkKeys.h"
#include "antsim/SimWorld.h"

namespace caltrix::test {

// The simulated world of the tests: every device, on the default network keys (the ANT+ key and
// our own), whatever CALTRIX_ANT_KEY_A and _B say in the environment the tests run in.
inline antsim::WorldOptions worldWithDefaultKeys()
{
    antsim::WorldOptions options;
    options.keyA = antlib::defaultNetworkKeyA();
    options.keyB = antlib::defaultNetworkKeyB();
    return options;
}

} // namespace caltrix::test
