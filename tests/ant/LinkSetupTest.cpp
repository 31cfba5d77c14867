// Opening the stick, describing channels, the configuration chain driven by the stick's answers,
// starting the channels one after the other, and closing everything.

#include "LinkHarness.h"

#include <gtest/gtest.h>

#include <map>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;

namespace {

QString keyFields(const AntKey& k)
{
    QString out;
    for (std::size_t i = 0; i < k.size(); ++i)
        out += QString::asprintf(i == 0 ? "[%02X]" : " [%02X]", k[i]);
    return out;
}

std::vector<std::string> startedChannels(const std::vector<std::string>& calls)
{
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.rfind("AssignChannelEventFunction", 0) == 0)
            out.push_back(c);
    return out;
}

} // namespace

TEST(LinkSetup, TheTrainerChannelGoesThroughTheWholeChainAndConnectsOnTheVirtualStick)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 0 });
    s.log.clear();

    s.link.StartChannelSetup(1);
    s.run(3000);

    const QStringList expected {
        "ANT_AssignChannelEventFunction(1),@ChannelEvent0)",
        "Cmd - SetNetworkKey(1; " + keyFields(antlib::defaultNetworkKeyB()) + ")",
        "Ack - SetNetworkKey",
        "Cmd - AssignChannel(1; 0, 1)",
        "Ack - AssignChannel(1; 0; 1)",
        "Cmd - SetChannelId(1; 12345; 19; 1)",
        "Ack - SetChannelID",
        "Cmd - SetChannelPeriod(1; 31814)",
        "Ack - SetChannelPeriod",
        "Cmd - ANT_SetTransmitPower",
        "Ack - ANT_SetTransmitPower",
        "Cmd - SetChannelSearchTimeout(1: 4)",
        "Ack - SetChannelSearchTimeout",
        "Cmd - SetChannelRFFreq(1; 71)",
        "Ack - SetRFFreq",
        "Cmd - OpenChannel 1",
        "Ack - Open 1",
    };
    const QStringList lines = s.log.lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(lines.mid(0, expected.size()), expected);
    EXPECT_TRUE(s.link.Channels[1]->Connected) << "the trainer's packets mark the channel connected";
    EXPECT_FALSE(linesStartingWith(lines, "Recv(1): ").isEmpty());
}

TEST(LinkSetup, OpenStickInitialisesRegistersResetsAndSleeps)
{
    FakeLink f;
    f.link.BaudRate = 57600;
    const auto before = f.clock.elapsed();
    EXPECT_TRUE(f.link.OpenStick(3));
    EXPECT_EQ(f.clock.elapsed() - before, 600u);
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "Init(3; 57600)", "AssignResponseFunction", "ResetSystem" }));
    EXPECT_EQ(f.log.lines(), (QStringList { "Chiave connessa!", "Cmd - Reset" }));
}

TEST(LinkSetup, OpenStickWithoutAStickMakesOneCallAndReportsFalse)
{
    FakeLink f;
    f.lib.initResult = false;
    EXPECT_FALSE(f.link.OpenStick(5));
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "Init(5; 0)" }));
    EXPECT_EQ(f.log.lines(), (QStringList { "Not Connected 5" }));
}

TEST(LinkSetup, DescribingChannelThreeGrowsTheArrayWithEmptySlots)
{
    FakeLink f;
    EXPECT_EQ(f.link.Channels.size(), 1u);
    const AntKey key { 1, 2, 3, 4, 5, 6, 7, 8 };
    f.link.SetChannelParameters(3, 1, 16150, 18, 1, 0, 70, 777, key);
    ASSERT_EQ(f.link.Channels.size(), 4u);
    EXPECT_EQ(f.link.Channels[0], nullptr);
    EXPECT_EQ(f.link.Channels[1], nullptr);
    EXPECT_EQ(f.link.Channels[2], nullptr);
    const lumo_Channel& c = *f.link.Channels[3];
    EXPECT_EQ(c.NetworkNumber, 1);
    EXPECT_EQ(c.Period, 16150);
    EXPECT_EQ(c.DeviceType, 18);
    EXPECT_EQ(c.TransmissionType, 1);
    EXPECT_EQ(c.RfFrequency, 70);
    EXPECT_EQ(c.DeviceNumber, 777u);
    EXPECT_EQ(c.NetworkKey, key);
    EXPECT_FALSE(c.Connected);
    EXPECT_EQ(f.log.lines(), (QStringList { "Set channel parameter array [3]" }));
}

// A channel whose record is replaced after its setup started: the library must fill the new
// record's buffer, never the freed one (AddressSanitizer would catch the latter).
TEST(LinkSetup, AReplacedRecordTakesOverTheRegistration)
{
    FakeLink f;
    f.ready(2);
    f.link.SetChannelParameters(2, 0, 8086, 121, 0, 0, 57, 99, AntKey {});
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "AssignChannelEventFunction(2)" }));
    EXPECT_EQ(f.lib.channels[2].buffer, f.link.Channels[2]->RxBuffer.data());

    f.lib.packet(2, { 0, 4, 1, 0, 0, 4, 1, 0 });
    EXPECT_TRUE(f.link.Channels[2]->Connected);
    EXPECT_EQ(f.link.CadenceRevs, 1);
}

TEST(LinkSetup, ARecordReplacedBeforeItsSetupIsNotRegistered)
{
    FakeLink f;
    f.link.SetChannelParameters(2, 0, 8086, 121, 0, 0, 57, 99, AntKey {});
    f.link.SetChannelParameters(2, 0, 8086, 121, 0, 0, 57, 98, AntKey {});
    EXPECT_TRUE(f.lib.take().empty());
}

TEST(LinkSetup, ALinkLeavesNothingRegisteredInALibraryThatOutlivesIt)
{
    RecordingLibrary lib;
    {
        VirtualTime t;
        lumo_ANT link(lib);
        link.OpenStick(0);
        describePlan(link, ModeTrainerNetwork);
        link.StartChannelSetup(1);
    }
    EXPECT_FALSE(lib.response);
    EXPECT_FALSE(lib.channels[1].callback);
}

struct ChainFailure {
    std::uint8_t answered;
    std::uint8_t result;
    const char* line; // nullptr: no line at all
};

class LinkChainFailure : public testing::TestWithParam<ChainFailure> {};

// A refused step writes its one line (the period step none) and ends the chain of that channel.
TEST_P(LinkChainFailure, WritesItsLineAndStopsTheChain)
{
    const ChainFailure& c = GetParam();
    FakeLink f;
    f.ready(1);
    f.lib.commandAnswer(1, c.answered, c.result);
    const QStringList expected = c.line ? QStringList { c.line } : QStringList {};
    EXPECT_EQ(f.log.lines(), expected);
    EXPECT_TRUE(f.lib.take().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, LinkChainFailure,
    testing::Values(ChainFailure { 0x46, 0x29, "Fail(0x41X) - NetworkKey" },
                    ChainFailure { 0x42, 0x15, "Fail(0x21X) - AssignChannel(01)" },
                    ChainFailure { 0x51, 0x18, "Fail(0x18) - SetChannelID(01)" },
                    ChainFailure { 0x43, 0x15, nullptr },
                    ChainFailure { 0x60, 0x15, "Fail(0x21X) - SetChannelPeriod(01)" },
                    ChainFailure { 0x44, 0x28, "Fail(0x28) - SetChannelSearchTimeout(01)" },
                    ChainFailure { 0x45, 0x15, "Fail(0x21X) - SetRFFreq(01)" },
                    ChainFailure { 0x4B, 0x1F, "Fail(0x1F) - Open(01)" },
                    ChainFailure { 0x4C, 0x16, "Fail(0x16) - Close(01)" },
                    ChainFailure { 0x41, 0x15, "Fail((0x21X)) - UnassignChannel(1)" },
                    ChainFailure { 0x99, 0x15, "Fail(0x15) - MesgID:(0x99) - Channel:(01)" },
                    ChainFailure { 0x99, 0x00, "Ack - MesgID:(0x99) - Channel:(01)" },
                    ChainFailure { 0x04, 0x15, nullptr }, ChainFailure { 0x4E, 0x00, nullptr },
                    ChainFailure { 0x50, 0x15, nullptr }));

TEST(LinkSetup, TheHeartAndConsoleChannelsSearchForeverWhileTheLogSaysFour)
{
    FakeLink f;
    f.ready(3);
    f.lib.commandAnswer(3, 0x60);
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SetChannelSearchTimeout(3; 255)" }));
    EXPECT_EQ(f.log.lines(), (QStringList { "Ack - ANT_SetTransmitPower", "Cmd - SetChannelSearchTimeout(3: 4)" }));
    f.lib.commandAnswer(1, 0x60);
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SetChannelSearchTimeout(1; 4)" }));
}

TEST(LinkSetup, TheNetworkKeyAnswerAssignsTheChannelWhoseKeyWasSent)
{
    FakeLink f;
    f.ready(3);
    f.lib.commandAnswer(1, 0x46); // byte 0 of a key answer is the network, not the channel
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "AssignChannel(3; 0; 1)" }));
}

TEST(LinkSetup, ACloseAnswerClearsConnectedWhetherItSucceededOrNot)
{
    for (const std::uint8_t result : { 0x00, 0x16 }) {
        FakeLink f;
        lumo_Channel& rec = f.ready(1);
        rec.Connected = true;
        f.lib.commandAnswer(1, 0x4C, result);
        EXPECT_FALSE(rec.Connected) << int(result);
    }
}

// Pairing with any device: the channel-ID request after the open answer, repeated with every
// packet until the stick's answer names the trainer.
TEST(LinkSetup, AWildcardChannelPairsThroughTheChannelIdAnswer)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 0, 0, 0 });
    s.link.UseHeartChannel = false;
    s.link.UseConsoleChannel = false;
    s.log.clear();

    s.link.StartChannelSetup(1);
    s.run(5000);

    const QStringList lines = s.log.lines();
    EXPECT_TRUE(lines.contains("Ack - Open 1"));
    EXPECT_TRUE(lines.contains("Cmd - ANT_RequestMessage(1,MESG_CHANNEL_ID_ID)"));
    EXPECT_TRUE(lines.contains("ANT_RequestMessage -> channel event"));
    EXPECT_EQ(linesStartingWith(lines, "Paring done").value(0), "Paring done (1). Device Number =  12345");
    const lumo_Channel& trainer = *s.link.Channels[1];
    EXPECT_EQ(trainer.DeviceNumber, 12345u);
    EXPECT_EQ(trainer.TransmissionType, 1);
    EXPECT_TRUE(trainer.Connected);
}

TEST(LinkSetup, AChannelIdAnswerLeavesAKnownNumberAlone)
{
    FakeLink f;
    lumo_Channel& rec = f.ready(1, 555);
    f.lib.answer(1, 0x51, { 1, 0x39, 0x30, 19, 5 });
    EXPECT_EQ(rec.DeviceNumber, 555u);
    EXPECT_EQ(rec.TransmissionType, 1);
    EXPECT_TRUE(f.log.lines().isEmpty());

    lumo_Channel& wild = f.ready(2, 0);
    f.lib.answer(2, 0x51, { 2, 0, 0, 121, 0 }); // the stick echoes the wildcard before pairing
    EXPECT_EQ(wild.DeviceNumber, 0u);
    EXPECT_TRUE(f.log.lines().isEmpty());
}

TEST(LinkSetup, TheCapabilitiesAnswerIsOneLine)
{
    FakeLink f;
    f.ready(1);
    f.lib.answer(0, 0x54, { 8, 3, 0x00, 0xBA, 0x36 });
    EXPECT_EQ(f.log.lines(), (QStringList { "ANT Capabilities:  -Max Channel: 8  -Max Network: 3  -Standard Options: "
                                            "0x0  -Advanced Options: 0xBA  -Advanced Options 2: 0x36" }));
}

// Answers and events naming a channel the caller never described, or one beyond the retry table,
// are ignored with a line instead of reaching into a missing record.
TEST(LinkSetup, AnswersAndEventsForUndescribedChannelsAreIgnored)
{
    FakeLink f;
    f.ready(1);
    for (const std::uint8_t answered : { 0x42, 0x51, 0x43, 0x60, 0x44, 0x45, 0x4B, 0x4C })
        f.lib.commandAnswer(7, answered);
    f.lib.commandAnswer(200, 0x42);
    f.lib.answer(9, 0x51, { 9, 1, 2, 3, 4 });
    f.link.HandleChannelEvent(150, EVENT_RX_SEARCH_TIMEOUT);
    f.link.HandleChannelEvent(5, EVENT_RX_BROADCAST);
    EXPECT_TRUE(f.lib.take().empty());
    EXPECT_EQ(f.log.lines().size(), 12);
    EXPECT_EQ(f.log.lines().value(0), "Ignored answer (0x42) for channel 7, which was not described");
    EXPECT_EQ(f.log.lines().value(11), "Ignored event 154 on channel 5, which was not described");
}

struct StartCase {
    std::uint32_t mode;
    bool heart;
    bool console;
    std::vector<int> channels;
};

class LinkStartOrder : public testing::TestWithParam<StartCase> {};

// Nothing answers, so each started channel costs its full 10 s of virtual time.
TEST_P(LinkStartOrder, StartsTheChannelsOfTheModeOneAfterTheOtherGivingUpAfterTenSecondsEach)
{
    const StartCase& c = GetParam();
    FakeLink f;
    f.link.OpenStick(0);
    describePlan(f.link, c.mode);
    f.link.UseHeartChannel = c.heart;
    f.link.UseConsoleChannel = c.console;
    f.link.TxEnabled = false;
    f.lib.take();
    const auto before = f.clock.elapsed();

    f.link.StartChannels();

    std::vector<std::string> expected;
    for (int ch : c.channels)
        expected.push_back("AssignChannelEventFunction(" + std::to_string(ch) + ")");
    EXPECT_EQ(startedChannels(f.lib.take()), expected);
    EXPECT_EQ(f.clock.elapsed() - before, 10000u * c.channels.size());
    EXPECT_TRUE(f.link.TxEnabled);
    EXPECT_FALSE(f.link.KeepAliveTimer.enabled());
}

INSTANTIATE_TEST_SUITE_P(Modes, LinkStartOrder,
                         testing::Values(StartCase { 0, true, true, { 1, 2, 3, 0 } },
                                         StartCase { 0, false, true, { 1, 2, 3 } },
                                         StartCase { 0, true, false, { 1, 2, 0 } },
                                         StartCase { 1, true, true, { 1, 0 } },
                                         StartCase { 2, true, true, { 1, 0 } },
                                         StartCase { 2, false, false, { 1 } }));

TEST(LinkSetup, StartChannelsGivesUpOnAMuteStickAfterFortySeconds)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 777 });
    s.sim->stick().setMute(true);
    const auto before = s.clock.elapsed();
    s.link.StartChannels();
    EXPECT_EQ(s.clock.elapsed() - before, 40000u);
    for (int ch = 0; ch < 4; ++ch)
        EXPECT_FALSE(s.link.Channels[static_cast<std::size_t>(ch)]->Connected) << ch;
}

TEST(LinkSetup, StartChannelsConnectsEveryDeviceOfTheWorldAndStartsTheKeepAlive)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 777 });
    const auto before = s.clock.elapsed();
    s.link.StartChannels();
    EXPECT_LT(s.clock.elapsed() - before, 10000u) << "each channel connects on its first packets";
    for (int ch = 0; ch < 4; ++ch)
        EXPECT_TRUE(s.link.Channels[static_cast<std::size_t>(ch)]->Connected) << ch;
    EXPECT_TRUE(s.link.KeepAliveTimer.enabled());
    EXPECT_EQ(s.link.KeepAliveTimer.interval(), 15000u);
}

// A channel the caller left out is skipped rather than read; no 10 s wait is spent on it.
TEST(LinkSetup, StartChannelsSkipsAChannelThatWasNeverDescribed)
{
    FakeLink f;
    f.link.OpenStick(0);
    f.link.SetChannelParameters(1, 1, 31814, 19, 1, 0, 71, 12345, antlib::defaultNetworkKeyB());
    f.log.clear();
    const auto before = f.clock.elapsed();
    f.link.StartChannels();
    EXPECT_EQ(f.clock.elapsed() - before, 10000u);
    EXPECT_TRUE(f.log.lines().contains("Channel 2 was not described: not started"));
    EXPECT_TRUE(f.log.lines().contains("Channel 3 was not described: not started"));
    EXPECT_FALSE(f.link.KeepAliveTimer.enabled());
}

TEST(LinkSetup, CloseAllClosesConnectedChannelsAndTheStick)
{
    FakeLink f;
    f.ready(1).Connected = true;
    f.ready(3).Connected = true;
    f.link.KeepAliveTimer.setEnabled(true);
    const auto before = f.clock.elapsed();

    f.link.CloseAll();

    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "CloseChannel(1)", "UnAssignChannel(1)", "CloseChannel(3)",
                                                         "UnAssignChannel(3)", "ResetSystem", "Close" }));
    EXPECT_EQ(f.log.lines(), (QStringList { "Cmd - Close channel 1", "Cmd - Unassigned channel 1",
                                            "Cmd - Close channel 3", "Cmd - Unassigned channel 3", "Cmd - ResetSystem",
                                            "Cmd - Close" }));
    EXPECT_EQ(f.clock.elapsed() - before, 3000u);
    EXPECT_FALSE(f.link.Channels[1]->Connected);
    EXPECT_FALSE(f.link.KeepAliveTimer.enabled());
}

// A stick that is gone answers nothing: closing makes the same calls but waits for no answer.
TEST(LinkSetup, CloseAllOnAGoneStickWaitsForNoAnswer)
{
    FakeLink f;
    f.ready(1).Connected = true;
    f.lib.stickGone = true;
    const auto before = f.clock.elapsed();

    f.link.CloseAll();

    EXPECT_EQ(f.lib.take(),
              (std::vector<std::string> { "CloseChannel(1)", "UnAssignChannel(1)", "ResetSystem", "Close" }));
    EXPECT_EQ(f.clock.elapsed() - before, 0u);
}

TEST(LinkSetup, CloseAllWhileSilencedMakesTheSameCallsWritesNoLineAndSwallowsFailures)
{
    FakeLink f;
    f.ready(1).Connected = true;
    f.link.Silenced = true;
    f.lib.throwOnClose = true;
    EXPECT_NO_THROW(f.link.CloseAll());
    EXPECT_EQ(f.lib.take(),
              (std::vector<std::string> { "CloseChannel(1)", "UnAssignChannel(1)", "ResetSystem", "Close" }));
    EXPECT_TRUE(f.log.lines().isEmpty());
    EXPECT_TRUE(f.raw.lines().isEmpty());
}

namespace {
// The trainer network's channels started on the virtual stick (no heart-rate channel), the log
// cleared of the start's lines.
bool startTrainerAndConsole(SimLink& s)
{
    if (!s.link.OpenStick(0))
        return false;
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 777 });
    s.link.UseHeartChannel = false;
    s.link.StartChannels();
    s.log.clear();
    return true;
}
} // namespace

TEST(LinkSetup, CloseAllOnTheVirtualStickEndsWithTheStickClosed)
{
    SimLink s;
    ASSERT_TRUE(startTrainerAndConsole(s));

    s.link.CloseAll();
    const QStringList lines = s.log.lines();
    EXPECT_TRUE(lines.contains("Ack - Close"));
    EXPECT_TRUE(lines.contains("Cmd - Close channel 1"));
    EXPECT_TRUE(lines.contains("Cmd - Unassigned channel 3"));
    EXPECT_EQ(lines.value(lines.size() - 1), "Cmd - Close");
    s.run(2000);
    EXPECT_EQ(s.log.lines().size(), lines.size()) << "nothing arrives after the stick is closed";
}

// A program ending on a logout closes promptly: each wait ends on the stick's confirmation (the
// closed event, the startup message after the reset) with the same lines; unconfirmed, the
// designed second still bounds each wait.
TEST(LinkSetup, ClosingPromptlyWaitsOnlyForTheSticksConfirmations)
{
    std::map<bool, QStringList> lines;
    std::map<bool, std::uint32_t> took;
    for (const bool promptly : { false, true }) {
        SimLink s;
        ASSERT_TRUE(startTrainerAndConsole(s));
        s.link.ClosePromptly = promptly;
        const auto before = s.clock.elapsed();
        s.link.CloseAll();
        took[promptly] = s.clock.elapsed() - before;
        lines[promptly] = s.log.lines();
    }
    // The other channels' traffic fills the longer waits; the closing's own lines are the same.
    EXPECT_EQ(linesStartingWith(lines[true], "Cmd - "), linesStartingWith(lines[false], "Cmd - "));
    EXPECT_TRUE(lines[true].contains("Ack - Channel Close1"));
    EXPECT_EQ(took[false], 4000u) << "three connected channels and the reset";
    EXPECT_LT(took[true], 500u) << took[true];

    FakeLink unconfirmed;
    unconfirmed.ready(1).Connected = true;
    unconfirmed.link.ClosePromptly = true;
    const auto before = unconfirmed.clock.elapsed();
    unconfirmed.link.CloseAll();
    EXPECT_EQ(unconfirmed.clock.elapsed() - before, 2000u);
}

TEST(LinkSetup, SilencedCallbacksDoNothing)
{
    FakeLink f;
    lumo_Channel& rec = f.ready(1);
    f.link.Silenced = true;
    f.lib.packet(1, { 0x11, 5, 0, 0, 0, 0, 0, 0 });
    f.lib.commandAnswer(1, 0x42);
    f.lib.event(1, EVENT_RX_SEARCH_TIMEOUT);
    EXPECT_FALSE(rec.Connected);
    EXPECT_EQ(f.link.RxCount, 0);
    EXPECT_TRUE(f.lib.take().empty());
    EXPECT_TRUE(f.log.lines().isEmpty());
}

TEST(LinkSetup, CallbacksFindNothingOnceTheLinkLeftAntLink)
{
    FakeLink f;
    lumo_Channel& rec = f.ready(1);
    auto link = std::move(AntLink); // still alive, but no longer the link of the process
    f.lib.packet(1, { 0x11, 5, 0, 0, 0, 0, 0, 0 });
    EXPECT_FALSE(rec.Connected);
    AntLink = std::move(link);
}

namespace {
class ThrowingLog final : public LogTarget {
public:
    void appendLine(const QString&) override { throw std::runtime_error("disk full"); }
};
} // namespace

TEST(LinkSetup, AFailingLogTargetStopsAtTheCallbacks)
{
    FakeLink f;
    f.ready(1);
    ThrowingLog throwing;
    f.link.LogMemo = &throwing;
    EXPECT_NO_THROW(f.lib.commandAnswer(1, 0x42));
    EXPECT_NO_THROW(f.lib.packet(1, { 0x11, 5, 0, 0, 0, 0, 0, 0 }));
    EXPECT_NO_THROW(f.lib.event(1, EVENT_CHANNEL_CLOSED));
}
