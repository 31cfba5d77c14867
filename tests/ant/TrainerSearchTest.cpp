#include "LinkHarness.h"
#include "SearchHarness.h"

#include "ant/TrainerSearch.h"
#include "antlib/AntDriver.h"
#include "antlib/SimTransport.h"
#include "antsim/VirtualStick.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;
namespace msg = antproto::msg;
using State = antsim::VirtualStick::State;

namespace {

constexpr std::uint16_t FirstTrainer = 12345;
constexpr std::uint16_t SecondTrainer = 23456;

antsim::WorldOptions twoTrainers()
{
    auto options = caltrix::test::worldWithDefaultKeys();
    options.secondTrainer = true;
    options.secondTrainerNumber = SecondTrainer;
    options.heartRate = false;
    options.console = false;
    return options;
}

// A search on a stick of its own over the virtual stick of `world`, on virtual time; every command
// the stick receives is recorded.
struct OwnStickSearch : VirtualTime {
    explicit OwnStickSearch(antsim::WorldOptions world)
        : world(std::move(world))
    {
    }

    AntLibraryFactory sticks()
    {
        return [this] {
            return std::make_unique<antlib::AntDriver>(clock, antlib::virtualStickFactory(clock, world, [this](antlib::SimTransport& t) {
                sim = &t;
                t.stick().onMessage = [this](const antproto::AntMessage& m, bool toHost) {
                    if (!toHost)
                        commands.push_back(m.id);
                };
            }));
        };
    }

    void start()
    {
        search = TrainerSearch::onOwnStick(sticks(), nativeTrainerPlan(), outcome.callbacks());
        outcome.search = search.get();
    }

    antsim::WorldOptions world;
    antlib::SimTransport* sim = nullptr;
    std::vector<std::uint8_t> commands;
    SearchOutcome outcome;
    std::unique_ptr<TrainerSearch> search;
};

} // namespace

TEST(TrainerSearch, FindsBothTrainersInRangeThroughTheExclusionListAndEndsWhenTheTimeIsUp)
{
    OwnStickSearch s(twoTrainers());
    s.start();
    s.run(29'000);
    EXPECT_EQ(s.outcome.numbers(), (std::vector<std::uint16_t> { FirstTrainer, SecondTrainer }));
    ASSERT_EQ(s.outcome.found.size(), 2u);
    EXPECT_EQ(s.outcome.found[0].deviceType, antproto::profile::NativeTrainer.deviceType);
    EXPECT_EQ(s.outcome.found[1].transmissionType, antproto::profile::TransmittedType);
    EXPECT_LT(s.outcome.foundAtMs[1], 5'000u) << "the second follows its first broadcast after the reopen";
    EXPECT_FALSE(s.outcome.end);
    EXPECT_TRUE(s.search->running());
    const auto progress = s.search->elapsedMs();
    EXPECT_GE(progress, 28'900u);
    EXPECT_LE(progress, 29'000u);

    s.run(1'100);
    EXPECT_EQ(s.outcome.end, SearchEnd::TimeUp);
    EXPECT_EQ(s.search->elapsedMs(), TrainerSearch::DurationMs);
    EXPECT_EQ(s.outcome.numbers().size(), 2u) << "each trainer once";
    // The stick was reset first and waited for, and at the end its channel closed, then reset.
    ASSERT_GE(s.commands.size(), 4u);
    EXPECT_EQ(s.commands.front(), msg::ResetSystem);
    EXPECT_EQ(std::vector<std::uint8_t>(s.commands.end() - 3, s.commands.end()),
              (std::vector<std::uint8_t> { msg::CloseChannel, msg::UnassignChannel, msg::ResetSystem }));
    EXPECT_EQ(std::count(s.commands.begin(), s.commands.end(), msg::AddChannelIdToList), 3)
        << "the first trainer listed after the first find, both after the second";
}

TEST(TrainerSearch, AStickWithoutTheListFindsOneTrainerAndSaysOthersMayBeInRange)
{
    auto world = twoTrainers();
    world.idList = false;
    OwnStickSearch s(world);
    s.start();
    s.run(5'000);
    EXPECT_EQ(s.outcome.numbers(), std::vector<std::uint16_t> { FirstTrainer });
    EXPECT_EQ(s.outcome.end, SearchEnd::NoIdList);
    EXPECT_TRUE(searchEndText(SearchEnd::NoIdList).contains("others may be in range"));
    EXPECT_EQ(std::count(s.commands.begin(), s.commands.end(), msg::AddChannelIdToList), 0);
}

// With nothing in range the channel's own search times out every 10 s and is opened again, until
// the search time is over.
TEST(TrainerSearch, NothingInRangeEndsAfterThirtySecondsReopeningAfterEachChannelTimeout)
{
    auto world = twoTrainers();
    world.trainer = false;
    world.secondTrainer = false;
    OwnStickSearch s(world);
    s.start();
    s.run(29'900);
    EXPECT_FALSE(s.outcome.end);
    s.run(200);
    EXPECT_EQ(s.outcome.end, SearchEnd::TimeUp);
    EXPECT_TRUE(s.outcome.found.empty());
    EXPECT_EQ(std::count(s.commands.begin(), s.commands.end(), msg::OpenChannel), 3);
}

TEST(TrainerSearch, CancelClosesTheChannelAtOnce)
{
    OwnStickSearch s(twoTrainers());
    s.start();
    s.run(2'000);
    ASSERT_EQ(s.outcome.found.size(), 1u);
    ASSERT_NE(s.sim, nullptr);
    s.search->cancel();
    EXPECT_FALSE(s.search->running());
    s.run(5);
    EXPECT_EQ(s.sim->stick().channelState(0), State::Unassigned);
    EXPECT_EQ(s.outcome.end, SearchEnd::Cancelled);
    const auto frozen = s.search->elapsedMs();
    s.run(1'000);
    EXPECT_EQ(s.search->elapsedMs(), frozen);
    EXPECT_EQ(s.outcome.found.size(), 1u);
}

// A stick that cannot be opened: the search says so with the library's line.
TEST(TrainerSearch, NoStickEndsWithTheLibrarysLine)
{
    VirtualTime t;
    const std::string why = "The ANT stick is in use by another program; close it and try again.";
    AntLibraryFactory refusing = [&t, why] {
        return std::make_unique<antlib::AntDriver>(t.clock, [why](std::uint8_t, std::uint32_t, std::string& error)
                                                               -> std::unique_ptr<antproto::Transport> {
            error = why;
            return nullptr;
        });
    };
    SearchOutcome outcome;
    testing::internal::CaptureStderr();
    auto search = TrainerSearch::onOwnStick(refusing, nativeTrainerPlan(), outcome.callbacks());
    EXPECT_FALSE(outcome.end) << "reported from the event loop, once the caller holds the search";
    t.run(10);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(outcome.end, SearchEnd::NoStick);
    EXPECT_EQ(outcome.detail, QString::fromStdString(why));
    EXPECT_TRUE(searchEndText(SearchEnd::NoStick, outcome.detail).endsWith(QString::fromStdString(why)));
}

// ---------------------------------------------------------------------------------------------
// On the stick of a connected link.

namespace {

// A link connected to the first trainer (channels 1 and 2), the second trainer in range too.
struct ConnectedLink : SimLink {
    ConnectedLink()
        : SimLink(twoTrainers())
    {
        link.OpenStick(0);
        describePlan(link, ModeTrainerNetwork, { FirstTrainer, 0, 0 });
        link.UseHeartChannel = false;
        link.UseConsoleChannel = false;
        link.StartChannels();
        log.clear();
    }
};

} // namespace

TEST(TrainerSearch, OnTheConnectedLinkFindsBothTrainersAndLeavesTheLinksChannelsAlone)
{
    ConnectedLink s;
    ASSERT_TRUE(s.link.Channels[1]->Connected);
    const auto packetsBefore = s.link.RxCount;
    SearchOutcome outcome;
    auto search = TrainerSearch::onLink(s.link, nativeTrainerPlan(), outcome.callbacks());
    s.run(8'000);
    EXPECT_EQ(outcome.numbers(), (std::vector<std::uint16_t> { FirstTrainer, SecondTrainer }));
    EXPECT_EQ(s.sim->stick().channelState(TrainerSearch::LinkSearchChannel), State::Searching)
        << "both on the exclusion list: it searches for a third";
    search->cancel();
    s.run(1'000);
    EXPECT_EQ(outcome.end, SearchEnd::Cancelled);
    EXPECT_EQ(s.sim->stick().channelState(TrainerSearch::LinkSearchChannel), State::Unassigned);

    // The link went on hearing its trainer, with nothing of the search in its log.
    EXPECT_EQ(s.sim->stick().channelState(1), State::Tracking);
    EXPECT_EQ(s.sim->stick().channelState(2), State::Tracking);
    EXPECT_EQ(s.link.Channels[1]->DeviceNumber, FirstTrainer);
    EXPECT_GT(s.link.RxCount, packetsBefore + 8);
    for (const QString& line : s.log.lines()) {
        EXPECT_FALSE(line.contains("not described")) << line.toStdString();
        EXPECT_FALSE(line.contains("Capabilities")) << line.toStdString();
    }
}

TEST(TrainerSearch, OnTheConnectedLinkEndsAtOnceWithoutAChannelToSpare)
{
    ConnectedLink s;
    s.link.SetChannelParameters(TrainerSearch::LinkSearchChannel, 0, 8192, 0, 0, 0, 57, 0, AntKey {});
    SearchOutcome outcome;
    auto search = TrainerSearch::onLink(s.link, nativeTrainerPlan(), outcome.callbacks());
    s.run(10);
    EXPECT_EQ(outcome.end, SearchEnd::NoFreeChannel);
    EXPECT_EQ(s.sim->stick().channelState(TrainerSearch::LinkSearchChannel), State::Unassigned);
}

// The link (and the library it owned) going away mid-search ends the search; nothing is sent to it.
TEST(TrainerSearch, ALinkThatGoesEndsTheSearchOnIt)
{
    ConnectedLink s;
    SearchOutcome outcome;
    auto search = TrainerSearch::onLink(s.link, nativeTrainerPlan(), outcome.callbacks());
    s.run(2'000);
    AntLink.reset();
    s.run(10);
    EXPECT_EQ(outcome.end, SearchEnd::StickLost);
    search.reset();
    s.run(2'000); // the driver lives on in the test: nothing of the search may run any more
}
