#pragma once

#include "EmulatedUsb.h"

#include "antproto/Transport.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Clock.h"

#include "SimulatedWorld.h"

#include <span>
#include <string>
#include <vector>

namespace caltrix::antlib::test {

// The virtual stick answering behind an emulated USB stick: what the host sends on bulk OUT goes to
// the virtual stick on the main thread, its answers go back on bulk IN.
class StickBehindUsb : private antproto::TransportListener {
public:
    StickBehindUsb(platform::Clock& clock, EmulatedAntStick& usb)
        : world_(clock, options())
        , stick_(world_)
        , usb_(usb)
    {
        std::string error;
        stick_.open(*this, error);
        usb_.setHostBytesHandler([this, &clock](std::vector<std::uint8_t> bytes) {
            // umockdev's worker thread: hand the bytes to the main thread without waiting.
            clock.postToMain(this, [this, bytes = std::move(bytes)] { stick_.write(bytes); });
        });
    }
    ~StickBehindUsb() override
    {
        usb_.setHostBytesHandler(nullptr);
        world_.clock().dropPosted(this);
        stick_.close();
    }

    antsim::SimWorld& world() { return world_; }

private:
    static antsim::WorldOptions options() { return caltrix::test::worldWithDefaultKeys(); }
    void bytesReceived(std::span<const std::uint8_t> bytes) override { usb_.queueIn(bytes); }
    void transportLost(const std::string&) override { }

    antsim::SimWorld world_;
    antsim::VirtualStick stick_;
    EmulatedAntStick& usb_;
};

} // namespace caltrix::antlib::test
