#include "SimHarness.h"

#include "antproto/AntMessage.h"
#include "antproto/Commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

using namespace caltrix;
using namespace caltrix::antsim;
using namespace caltrix::antsim::test;
namespace code = antproto::code;
namespace msg = antproto::msg;

namespace {

// The result codes of the 0x40 answers, in order, for commands answered on `channel`.
std::vector<std::pair<std::uint8_t, std::uint8_t>> answers(const std::vector<Call>& calls)
{
    std::vector<std::pair<std::uint8_t, std::uint8_t>> out;
    for (const auto& c : calls)
        if (c.response && c.code == msg::ChannelResponse)
            out.emplace_back(c.buffer[1], c.buffer[2]);
    return out;
}

std::vector<std::uint8_t> codes(const std::vector<Call>& events)
{
    std::vector<std::uint8_t> out;
    for (const auto& e : events)
        out.push_back(e.code);
    return out;
}

} // namespace

TEST(VirtualStick, AnswersAResetWithTheStartupMessageAndReportsCapabilities)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.driver.ANT_ResetSystem();
    EXPECT_TRUE(h.calls.empty()) << "answers are never delivered inside the call";
    h.run(10);
    h.driver.ANT_RequestMessage(0, msg::Capabilities);
    h.run(10);
    const auto calls = h.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, msg::Startup);
    EXPECT_EQ(calls[0].buffer[0], 0x20);
    EXPECT_EQ(calls[1].code, msg::Capabilities);
    EXPECT_EQ(calls[1].buffer[0], 8); // channels
    EXPECT_EQ(calls[1].buffer[1], 3); // networks
}

TEST(VirtualStick, OnlyStickZeroExists)
{
    SimHarness h;
    for (std::uint8_t n = 1; n < 8; ++n)
        EXPECT_FALSE(h.driver.ANT_Init(n, 57600, 0, 0));
    EXPECT_TRUE(h.driver.ANT_Init(0, 57600, 0, 0));
}

TEST(VirtualStick, AnswersEachCommandAccordingToTheChannelState)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    auto& d = h.driver;
    const std::array<std::uint8_t, 8> key {};
    struct Step {
        const char* what;
        std::function<void()> command;
        std::uint8_t answered;
        std::uint8_t result;
    } steps[] = {
        { "period while unassigned", [&] { d.ANT_SetChannelPeriod(2, 8192); }, msg::ChannelPeriod, code::ChannelInWrongState },
        { "open while unassigned", [&] { d.ANT_OpenChannel(2); }, msg::OpenChannel, code::ChannelInWrongState },
        { "key on network 3", [&] { d.ANT_SetNetworkKey(3, key); }, msg::NetworkKey, code::InvalidNetworkNumber },
        { "assign on network 7", [&] { d.ANT_AssignChannel(2, 0, 7); }, msg::AssignChannel, code::InvalidNetworkNumber },
        { "assign", [&] { d.ANT_AssignChannel(2, 0, 0); }, msg::AssignChannel, code::NoError },
        { "assign twice", [&] { d.ANT_AssignChannel(2, 0, 0); }, msg::AssignChannel, code::ChannelInWrongState },
        { "close while not open", [&] { d.ANT_CloseChannel(2); }, msg::CloseChannel, code::ChannelInWrongState },
        { "channel id", [&] { d.ANT_SetChannelId(2, 0, 0, 0); }, msg::ChannelId, code::NoError },
        { "open", [&] { d.ANT_OpenChannel(2); }, msg::OpenChannel, code::NoError },
        { "open twice", [&] { d.ANT_OpenChannel(2); }, msg::OpenChannel, code::ChannelInWrongState },
        { "unassign while open", [&] { d.ANT_UnAssignChannel(2); }, msg::UnassignChannel, code::ChannelInWrongState },
        { "close", [&] { d.ANT_CloseChannel(2); }, msg::CloseChannel, code::NoError },
        { "unassign", [&] { d.ANT_UnAssignChannel(2); }, msg::UnassignChannel, code::NoError },
        { "unassign twice", [&] { d.ANT_UnAssignChannel(2); }, msg::UnassignChannel, code::ChannelInWrongState },
    };
    h.listen(2);
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.command();
        h.run(1);
        const auto got = answers(h.take());
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], std::make_pair(s.answered, s.result));
    }
}

TEST(VirtualStick, ClosingAnswersFirstThenReportsTheChannelClosed)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configure(0, 0, 4321, 120, 0, 8070, 255, 57);
    h.run(5);
    h.take();
    h.driver.ANT_CloseChannel(0);
    h.run(5);
    const auto calls = h.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].response);
    EXPECT_EQ(calls[0].buffer[1], msg::CloseChannel);
    EXPECT_FALSE(calls[1].response);
    EXPECT_EQ(calls[1].code, code::ChannelClosed);
    EXPECT_EQ(h.sim->stick().channelState(0), VirtualStick::State::Assigned);
}

TEST(VirtualStick, PairsWithAWildcardAndReportsTheRealIdOnlyOnceFound)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configure(2, 0, 0, 121, 0, 8086, 4, 57); // the trainer's speed-and-cadence sensor, any number
    h.run(5);
    for (const auto& [answered, result] : answers(h.take()))
        EXPECT_EQ(result, code::NoError) << "command " << int(answered);
    h.driver.ANT_RequestMessage(2, msg::ChannelId);
    h.run(1);
    auto calls = h.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, msg::ChannelId);
    EXPECT_EQ((std::array<std::uint8_t, 5> { calls[0].buffer[0], calls[0].buffer[1], calls[0].buffer[2],
                                             calls[0].buffer[3], calls[0].buffer[4] }),
              (std::array<std::uint8_t, 5> { 2, 0, 0, 121, 0 }))
        << "before pairing the configured ID is echoed";
    h.run(300);
    ASSERT_FALSE(h.events(2).empty());
    EXPECT_EQ(h.events(2)[0].code, antproto::code::BroadcastReceived);
    EXPECT_EQ(h.events(2)[0].buffer[0], 2);
    h.take();
    h.driver.ANT_RequestMessage(2, msg::ChannelId);
    h.run(1);
    calls = h.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].buffer[1] | calls[0].buffer[2] << 8, 12345);
    EXPECT_EQ(calls[0].buffer[3], 121);
    EXPECT_EQ(calls[0].buffer[4], 1);
}

TEST(VirtualStick, DeliversOnePacketPerPeriodWhileTracking)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configure(0, 0, 4321, 120, 0, 8070, 255, 57); // about 4 messages a second
    h.run(10'000);
    const auto received = h.events(0);
    EXPECT_GE(received.size(), 39u);
    EXPECT_LE(received.size(), 41u);
    for (const auto& e : received)
        EXPECT_EQ(e.code, antproto::code::BroadcastReceived);
    EXPECT_GT(received.back().buffer[8], 60) << "byte 7 of the payload is the heart rate";
}

TEST(VirtualStick, HearsNothingWithTheWrongKeyFrequencyOrIdAndTimesOutInSearchUnits)
{
    struct Case {
        const char* what;
        std::uint8_t network;
        std::uint16_t number;
        std::uint8_t rf;
    } cases[] = {
        { "wrong key (network 0 for the trainer)", 0, 12345, 71 },
        { "wrong frequency", 1, 12345, 72 },
        { "wrong device number", 1, 999, 71 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimHarness h;
        ASSERT_TRUE(h.open());
        h.configure(1, c.network, c.number, 19, 1, 31814, 4, 71);
        if (c.rf != 71)
            h.driver.ANT_SetChannelRFFreq(1, c.rf);
        const auto start = h.clock.elapsed();
        h.run(9'000);
        EXPECT_TRUE(h.events(1).empty());
        h.run(2'000);
        EXPECT_EQ(codes(h.events(1)), (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
        EXPECT_GE(h.clock.elapsed() - start, 10'000u);
    }
}

TEST(VirtualStick, NeverTimesOutWithSearchTimeout255)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configure(0, 0, 999, 120, 0, 8070, 255, 57);
    h.run(600'000);
    EXPECT_TRUE(h.events(0).empty());
}

TEST(VirtualStick, MissesEndInReceiveFailedThenSearchThenTimeout)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configureTrainer();
    h.run(3'000);
    ASSERT_FALSE(h.events(1).empty());
    h.take();
    h.sim->world().device("trainer")->silenceForever();
    h.run(9 * 1000 + 10'500);
    std::vector<std::uint8_t> expected(VirtualStick::MissesBeforeSearch - 1, code::RxFailed);
    expected.push_back(code::RxFailGoToSearch);
    expected.push_back(code::SearchTimeout);
    expected.push_back(code::ChannelClosed);
    EXPECT_EQ(codes(h.events(1)), expected);
}

TEST(VirtualStick, ASilentSpellIsBridgedAndTrackingResumes)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configureTrainer();
    h.run(2'000);
    h.take();
    auto* trainer = h.sim->world().device("trainer");
    trainer->silenceUntil(h.sim->world().now() + 2'500);
    h.run(5'000);
    const auto got = codes(h.events(1));
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0], code::RxFailed);
    EXPECT_EQ(got.back(), antproto::code::BroadcastReceived);
}

TEST(VirtualStick, SendsQueuedDataInTheNextSlotAndEndsAcknowledgedDataInAnEvent)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configureTrainer();
    h.run(1'500);
    h.take();
    const std::array<std::uint8_t, 8> resistance { 0x01, 200, 0, 0, 0, 0, 0, 0 };
    h.driver.ANT_SendBroadcastData(1, resistance);
    h.run(1'100);
    EXPECT_EQ(h.sim->world().rider().resistance(), 200);
    h.take();
    const std::array<std::uint8_t, 8> memoryWrite { 0x03, 0x34, 0x12, 9, 8, 7, 6, 5 };
    h.driver.ANT_SendAcknowledgedData(1, memoryWrite);
    h.run(2'100);
    const auto events = h.events(1);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].code, antproto::code::BroadcastReceived);
    EXPECT_EQ(events[1].code, code::TransferTxCompleted);
    EXPECT_EQ(events[2].buffer[1], 0xFF) << "the trainer acknowledges the memory write";
    EXPECT_EQ(events[2].buffer[2], 0x03);
    auto* trainer = dynamic_cast<NativeTrainer*>(h.sim->world().device("trainer"));
    EXPECT_EQ(trainer->memory()[0], 0x1234);

    h.take();
    trainer->silenceForever();
    h.driver.ANT_SendAcknowledgedData(1, memoryWrite);
    h.run(1'100);
    EXPECT_EQ(codes(h.events(1)), (std::vector<std::uint8_t> { code::TransferTxFailed, code::RxFailed }));
}

// A stick that answers nothing once the host opened a channel is found hung: the driver asks it
// for a status after 2 s of silence, gives up 3 s later and reports the channel lost.
TEST(VirtualStick, AStickThatAnswersNothingIsFoundHung)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.sim->stick().setMute(true);
    h.driver.ANT_ResetSystem();
    h.configureTrainer();
    testing::internal::CaptureStderr();
    h.run(4'000);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_FALSE(h.driver.stickLost());
    h.run(26'000);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(h.driver.stickLost());
    EXPECT_EQ(codes(h.events(1)), (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    EXPECT_EQ(h.calls.size(), 2u) << "no response callback";
    EXPECT_NE(said.find("stopped answering"), std::string::npos) << said;
    EXPECT_EQ(h.driver.lastError() + "\n", said);
}

// The faults that CALTRIX_ANT=sim:... and antsim put on cue. Each ends the trainer's data at its
// time and the host sees the trainer channel time out; only a stalled or vanished stick is lost.
TEST(VirtualStick, FaultsOnCueEndTheTrainersDataAtTheirTime)
{
    struct Case {
        const char* name;
        std::optional<double> WorldOptions::*fault;
        bool stickLost;
    } cases[] = {
        { "stall", &WorldOptions::stallAfterS, true },
        { "vanish", &WorldOptions::vanishAfterS, true },
        { "trainer silent", &WorldOptions::trainerSilentAfterS, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = SimHarness::defaultOptions();
        options.*c.fault = 3.0;
        SimHarness h(options);
        ASSERT_TRUE(h.open());
        h.configureTrainer();
        testing::internal::CaptureStderr();
        h.run(2'900);
        EXPECT_FALSE(codes(h.events(1)).empty()) << "the trainer talks before its cue";
        h.run(200); // past the cue and the last answer in flight
        h.take();
        h.run(20'000);
        testing::internal::GetCapturedStderr();
        const auto after = codes(h.events(1));
        EXPECT_EQ(std::count(after.begin(), after.end(), code::BroadcastReceived), 0);
        EXPECT_NE(std::find(after.begin(), after.end(), code::SearchTimeout), after.end());
        EXPECT_EQ(h.driver.stickLost(), c.stickLost);
        h.take();
        h.driver.ANT_RequestMessage(1, msg::ChannelId);
        h.run(100);
        EXPECT_EQ(h.calls.size(), c.stickLost ? 0u : 1u) << "the stick itself answers unless it is gone";
    }
}

TEST(VirtualStick, NoStickAtAll)
{
    auto options = SimHarness::defaultOptions();
    options.stickPresent = false;
    SimHarness h(options);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(h.driver.ANT_Init(0, 57600, 0, 0));
    EXPECT_FALSE(h.driver.ANT_Init(0, 57600, 0, 0));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "the same complaint once: " << said;
}

// A stick pulled out: one line on standard error, nothing more delivered, and every open channel
// reports a search timeout and closes, also after each reopen, so a receiver sees silence.
TEST(VirtualStick, AnUnpluggedStickTurnsOpenChannelsSilent)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    h.configureTrainer();
    h.run(2'000);
    h.take();
    testing::internal::CaptureStderr();
    h.sim->stick().unplug();
    h.sim->stick().unplug();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("ANT stick stopped answering"), std::string::npos);
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    EXPECT_TRUE(h.driver.stickLost());
    h.run(1'000);
    EXPECT_EQ(codes(h.events(1)), (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    h.take();
    EXPECT_FALSE(h.driver.ANT_OpenChannel(1));
    EXPECT_TRUE(h.calls.empty()) << "not inside the call";
    h.run(1'000);
    EXPECT_EQ(codes(h.events(1)), (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    const std::array<std::uint8_t, 8> data {};
    EXPECT_FALSE(h.driver.ANT_SendBroadcastData(1, data));
    h.driver.ANT_Close();
}

TEST(VirtualStick, ReportsTransmitSlotsOnReceivingChannelsOnlyWhenAsked)
{
    for (bool asked : { false, true }) {
        auto options = SimHarness::defaultOptions();
        options.transmitSlotEvents = asked;
        SimHarness h(options);
        ASSERT_TRUE(h.open());
        h.configure(0, 0, 4321, 120, 0, 8070, 255, 57);
        h.run(1'100);
        const auto got = codes(h.events(0));
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(std::count(got.begin(), got.end(), code::Tx), asked ? std::count(got.begin(), got.end(), antproto::code::BroadcastReceived) : 0);
    }
}

TEST(AntDriver, DeliversNothingMoreOnceACallbackClosedTheStick)
{
    SimHarness h;
    ASSERT_TRUE(h.open());
    int calls = 0;
    h.driver.ANT_AssignResponseFunction(
        [&](std::uint8_t, std::uint8_t) {
            ++calls;
            h.driver.ANT_Close();
            return std::uint8_t { 0 };
        },
        h.response);
    h.configure(0, 0, 4321, 120, 0, 8070, 255, 57); // eight answers arrive together
    h.run(2'000);
    EXPECT_EQ(calls, 1);
}

namespace {

constexpr std::uint16_t FirstTrainer = 12345;
constexpr std::uint16_t SecondTrainer = 23456;

// A world with two native trainers in range.
WorldOptions twoTrainers()
{
    auto options = SimHarness::defaultOptions();
    options.secondTrainer = true;
    options.secondTrainerNumber = SecondTrainer;
    return options;
}

// Channel 1 set up as a wildcard search for the native trainer, the list given by `list` applied
// while it is assigned and closed, then opened; the number of the trainer it found (0: none).
std::uint16_t trainerFoundWith(SimHarness& h, const std::function<void()>& list)
{
    const auto& p = antproto::profile::NativeTrainer;
    auto& d = h.driver;
    h.listen(1);
    d.ANT_SetNetworkKey(p.network, antlib::defaultNetworkKeyB());
    d.ANT_AssignChannel(1, 0, p.network);
    d.ANT_SetChannelId(1, 0, p.deviceType, p.transmissionType);
    d.ANT_SetChannelPeriod(1, p.period);
    d.ANT_SetChannelRFFreq(1, p.rfFrequency);
    d.ANT_SetChannelSearchTimeout(1, 2);
    list();
    d.ANT_OpenChannel(1);
    h.run(3'000);
    h.take();
    d.ANT_RequestMessage(1, msg::ChannelId);
    h.run(10);
    for (const auto& c : h.take())
        if (c.response && c.code == msg::ChannelId)
            return h.sim->stick().channelState(1) == VirtualStick::State::Tracking
                ? static_cast<std::uint16_t>(c.buffer[1] | c.buffer[2] << 8)
                : 0;
    return 0;
}

} // namespace

// The inclusion/exclusion list decides which of two trainers a wildcard search may find.
TEST(VirtualStick, TheIdListLeavesOutOrKeepsOnlyTheListedTrainers)
{
    const auto& p = antproto::profile::NativeTrainer;
    struct Case {
        const char* what;
        std::vector<std::uint16_t> listed;
        bool exclude;
        std::uint16_t found;
    } cases[] = {
        { "no list: the first trainer", {}, true, FirstTrainer },
        { "the first excluded", { FirstTrainer }, true, SecondTrainer },
        { "both excluded", { FirstTrainer, SecondTrainer }, true, 0 },
        { "only the second included", { SecondTrainer }, false, SecondTrainer },
        { "an absent trainer included", { 999 }, false, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimHarness h(twoTrainers());
        ASSERT_TRUE(h.open());
        const auto found = trainerFoundWith(h, [&] {
            for (std::size_t i = 0; i < c.listed.size(); ++i)
                h.driver.ANT_AddChannelID(1, c.listed[i], p.deviceType, p.transmissionType, static_cast<std::uint8_t>(i));
            if (!c.listed.empty())
                h.driver.ANT_ConfigList(1, static_cast<std::uint8_t>(c.listed.size()), c.exclude);
        });
        EXPECT_EQ(found, c.found);
    }
}

// The list is set while the channel is assigned and closed; a stick without it refuses both
// messages and says so in its capabilities.
TEST(VirtualStick, TheIdListIsRefusedWhileOpenOutOfRangeAndOnAStickWithoutIt)
{
    for (bool withList : { true, false }) {
        SCOPED_TRACE(withList ? "a stick with the list" : "a stick without it");
        auto options = twoTrainers();
        options.idList = withList;
        SimHarness h(options);
        ASSERT_TRUE(h.open());
        auto& d = h.driver;
        d.ANT_RequestMessage(0, msg::Capabilities);
        d.ANT_AddChannelID(2, FirstTrainer, 19, 1, 0); // unassigned
        d.ANT_AssignChannel(2, 0, 0);
        d.ANT_AddChannelID(2, FirstTrainer, 19, 1, 3);
        d.ANT_ConfigList(2, 1, true);
        EXPECT_FALSE(d.ANT_AddChannelID(2, FirstTrainer, 19, 1, 4)) << "an index beyond the list is not sent";
        EXPECT_FALSE(d.ANT_ConfigList(2, 5, true));
        // A size beyond the list, past the library's own check.
        h.sim->stick().write(antproto::encodeFrame(antproto::command::configIdList(2, 5, true)).bytes());
        d.ANT_OpenChannel(2);
        d.ANT_ConfigList(2, 0, true);
        h.run(10);
        const auto calls = h.take();
        ASSERT_FALSE(calls.empty());
        ASSERT_EQ(calls[0].code, msg::Capabilities);
        EXPECT_EQ(calls[0].buffer[3] & antproto::capability::IdListOption, withList ? 0x80 : 0);
        const std::uint8_t invalid = code::InvalidMessage;
        using Answers = std::vector<std::pair<std::uint8_t, std::uint8_t>>;
        const Answers expected = withList
            ? Answers { { msg::AddChannelIdToList, code::ChannelInWrongState }, { msg::AssignChannel, 0 },
                        { msg::AddChannelIdToList, 0 }, { msg::ConfigIdList, 0 }, { msg::ConfigIdList, invalid },
                        { msg::OpenChannel, 0 }, { msg::ConfigIdList, code::ChannelInWrongState } }
            : Answers { { msg::AddChannelIdToList, invalid }, { msg::AssignChannel, 0 }, { msg::AddChannelIdToList, invalid },
                        { msg::ConfigIdList, invalid }, { msg::ConfigIdList, invalid }, { msg::OpenChannel, 0 },
                        { msg::ConfigIdList, invalid } };
        EXPECT_EQ(answers(calls), expected);
    }
}
