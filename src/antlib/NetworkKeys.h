#pragma once

#include <array>
#include <cstdint>

namespace caltrix::antlib {

using NetworkKeyBytes = std::array<std::uint8_t, 8>;

// The two network keys the trainer component uses: key A with network 0 (the ANT+ managed network,
// so that standard belts and sensors are heard) and key B with network 1 (our trainer network).
// Each can be replaced without rebuilding through CALTRIX_ANT_KEY_A / CALTRIX_ANT_KEY_B, 16 hex
// digits (most significant byte first, i.e. byte 0 of the key first).
// Throws platform::Error naming the variable when its value is malformed.
NetworkKeyBytes networkKeyA();
NetworkKeyBytes networkKeyB();

// The built-in values, for the virtual world and tests.
NetworkKeyBytes defaultNetworkKeyA();
NetworkKeyBytes defaultNetworkKeyB();

} // namespace caltrix::antlib
