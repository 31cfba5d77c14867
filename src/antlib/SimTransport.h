#pragma once

#include "antlib/AntConfig.h"
#include "antlib/AntDriver.h"
#include "antproto/Transport.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"

#include <functional>
#include <memory>

namespace caltrix::antlib {

// The built-in virtual stick with a world of its own, as CALTRIX_ANT=sim opens it.
class SimTransport final : public antproto::Transport {
public:
    SimTransport(platform::Clock& clock, const antsim::WorldOptions& options);

    bool open(antproto::TransportListener& listener, std::string& error) override { return stick_.open(listener, error); }
    bool write(std::span<const std::uint8_t> bytes) override { return stick_.write(bytes); }
    void close() override { stick_.close(); }

    antsim::SimWorld& world() { return world_; }
    antsim::VirtualStick& stick() { return stick_; }

private:
    antsim::SimWorld world_;
    antsim::VirtualStick stick_;
};

// Transports with a virtual stick of the world `options` as stick 0 and no stick at any other
// number. `created` sees each new virtual stick (to keep a pointer to it or watch its messages).
TransportFactory virtualStickFactory(platform::Clock& clock, const antsim::WorldOptions& options,
    std::function<void(SimTransport&)> created = {});

// The world of the built-in virtual stick: every device, the network keys in use.
antsim::WorldOptions defaultWorldOptions();
// The world the settings of CALTRIX_ANT=sim:... describe, with the network keys in use.
antsim::WorldOptions worldOptions(const antsim::WorldOptions& settings);

} // namespace caltrix::antlib
