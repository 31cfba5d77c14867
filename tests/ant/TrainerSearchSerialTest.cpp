#include "SearchHarness.h"

#include "ant/TrainerSearch.h"
#include "antlib/AntDriver.h"
#include "antlib/SerialTransport.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include "ProcessUntil.h"
#include "SimulatedWorld.h"

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::ant;

// The search on a stick of its own, opened as a serial stick on antsim's pseudo-terminal with two
// trainers behind it: every command and answer travels as bytes through the terminal and the
// library's reader thread, on the real clock.
TEST(TrainerSearchOverSerial, FindsBothTrainersBehindThePseudoTerminal)
{
    platform::RealClock clock;
    platform::ScopedClock scoped(clock);
    auto options = caltrix::test::worldWithDefaultKeys();
    options.secondTrainer = true;
    options.secondTrainerNumber = 23456;
    antsim::SimWorld world(clock, options);
    antsim::VirtualStick stick(world);
    antsim::PtyStick pty(stick);
    std::string error;
    ASSERT_TRUE(pty.start(error)) << error;

    AntLibraryFactory serialStick = [&] {
        return std::make_unique<antlib::AntDriver>(
            clock, [&](std::uint8_t n, std::uint32_t baud, std::string&) -> std::unique_ptr<antproto::Transport> {
                return n == 0 ? std::make_unique<antlib::SerialTransport>(clock, pty.path(), baud) : nullptr;
            });
    };
    ant::test::SearchOutcome outcome;
    auto search = TrainerSearch::onOwnStick(serialStick, ant::test::nativeTrainerPlan(), outcome.callbacks());
    ASSERT_TRUE(caltrix::test::processUntil(clock, [&] { return outcome.found.size() >= 2 || outcome.end; }));
    EXPECT_EQ(outcome.numbers(), (std::vector<std::uint16_t> { 12345, 23456 }));
    search->cancel();
    ASSERT_TRUE(caltrix::test::processUntil(clock, [&] { return outcome.end.has_value(); }));
    EXPECT_EQ(outcome.end, SearchEnd::Cancelled);
    search.reset();
}
