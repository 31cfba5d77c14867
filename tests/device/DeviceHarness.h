#pragma once

#include "ant/lumo_ant_class.h"
#include "antlib/AntDriver.h"
#include "antlib/SimTransport.h"
#include "device/TavorDeviceANT.h"
#include "devicebase/Helpers.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include "RecordingDesktop.h"
#include "SimulatedWorld.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace caltrix::device::test {

// A stick that is there but cannot be opened, for the reason `why` (as the USB transport reports
// a stick of another user or in use by another program).
class RefusingStick final : public antproto::Transport {
public:
    explicit RefusingStick(std::string why)
        : why_(std::move(why))
    {
    }
    bool open(antproto::TransportListener&, std::string& error) override
    {
        error = why_;
        return false;
    }
    bool write(std::span<const std::uint8_t>) override { return false; }
    void close() override { }

private:
    std::string why_;
};

// A trainer device on the virtual clock whose links talk to the built-in virtual stick and its
// simulated world; message boxes are recorded instead of shown.
class DeviceTest : public ::testing::Test {
protected:
    DeviceTest() = default;

    ~DeviceTest() override
    {
        // A test's handlers capture its locals, which are gone by now; destruction disconnects.
        if (device)
            device->devicebase::TVelCustomDevice::OnDisconnected = nullptr;
        device.reset();
        ant::AntLink.reset();
    }

    // The library a new link gets: the virtual stick as stick 0 of `world` (when present),
    // nothing at the other numbers. Every open attempt is counted.
    ant::AntLibraryFactory libraryFactory()
    {
        return [this] {
            auto sticks = antlib::virtualStickFactory(clock, world, [this](antlib::SimTransport& t) {
                sim = &t;
                if (stickCreated)
                    stickCreated(t);
            });
            return std::make_unique<antlib::AntDriver>(clock,
                [this, sticks](std::uint8_t number, std::uint32_t baud, std::string& error)
                    -> std::unique_ptr<antproto::Transport> {
                    ++stickOpens;
                    return world.stickPresent ? sticks(number, baud, error) : nullptr;
                });
        };
    }

    // The library a new link gets when every stick refuses to open, for the reason `why`.
    ant::AntLibraryFactory refusingLibraryFactory(const std::string& why)
    {
        return [this, why] {
            return std::make_unique<antlib::AntDriver>(clock,
                [why](std::uint8_t, std::uint32_t, std::string&) -> std::unique_ptr<antproto::Transport> {
                    return std::make_unique<RefusingStick>(why);
                });
        };
    }

    TTavorDeviceANT& makeDevice()
    {
        device = std::make_unique<TTavorDeviceANT>(nullptr);
        device->SetAntLibraryFactory(libraryFactory());
        return *device;
    }

    // What the calibration window does: console and heart channels off, connect, and in the
    // connected handler set the roller and start the ride. Returns ConnectANT's report.
    bool connectLikeTheWindow(std::int32_t trainerNumber = 0)
    {
        if (!device)
            makeDevice();
        device->SetEnableConsole(false);
        device->SetHeartEnabled(false);
        device->SetOnConnected([this](platform::TObject*) {
            device->SetRollDiameter(world.rollDiameterMm);
            device->SeteventPerTurn(static_cast<std::uint8_t>(world.eventsPerTurn));
            device->Start();
        });
        return device->ConnectANT(trainerNumber, 0, 0);
    }

    // A link that never opened a stick, for driving the statistics tick with chosen link values.
    ant::lumo_ANT& bareLink()
    {
        ant::AntLink = ant::CreateAntLink(libraryFactory());
        ant::AntLink->LogMemo = nullptr;
        ant::AntLink->RawMemo = nullptr;
        return *ant::AntLink;
    }

    // Lets `ms` of virtual time pass on the main thread, handling everything that falls due.
    static void ride(std::int32_t ms) { devicebase::WaitProcessingMessages(ms); }

    std::uint64_t now() const { return clock.elapsed(); }

    platform::VirtualClock clock;
    platform::ScopedClock scopedClock { clock };
    platform::RecordingDesktop desktop;
    platform::ScopedDesktop scopedDesktop { desktop };
    antsim::WorldOptions world = caltrix::test::worldWithDefaultKeys();
    antlib::SimTransport* sim = nullptr; // the stick of the latest link that opened one
    std::function<void(antlib::SimTransport&)> stickCreated; // sees each new virtual stick
    int stickOpens = 0;
    std::unique_ptr<TTavorDeviceANT> device; // destroyed first
};

} // namespace caltrix::device::test
