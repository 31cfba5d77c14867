// Channel events: search timeouts and the loss of a channel, receive failures, transfers, the
// transmit slot, closing, and the common steps of every received packet.

#include "LinkHarness.h"

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;

namespace {

const QString Interference = "It should call \"HandleInterference\". Removed from cose.";

std::vector<std::string> timesOut(FakeLink& f, std::uint8_t ch, int times)
{
    for (int i = 0; i < times; ++i)
        f.lib.event(ch, EVENT_RX_SEARCH_TIMEOUT);
    return f.lib.take();
}

} // namespace

TEST(LinkEvents, SevenSearchTimeoutsReopenSixTimesSilentlyThenLoseTheTrainer)
{
    FakeLink f;
    f.ready(1).Connected = true;
    std::vector<bool> lostFlagAtCall; // the notification comes before the flag is set
    f.link.OnTrainerLost = [&](std::uint8_t ch) {
        EXPECT_EQ(ch, 1);
        lostFlagAtCall.push_back(f.link.TrainerLost);
    };

    EXPECT_EQ(timesOut(f, 1, 6), repeatedCalls("OpenChannel(1)", 6));
    EXPECT_TRUE(f.log.lines().isEmpty());
    EXPECT_FALSE(f.link.TrainerLost);

    EXPECT_TRUE(timesOut(f, 1, 1).empty());
    EXPECT_EQ(f.log.lines(), QStringList { Interference });
    EXPECT_TRUE(f.link.TrainerLost);
    EXPECT_EQ(lostFlagAtCall, std::vector<bool> { false });
    EXPECT_TRUE(f.link.Channels[1]->Connected) << "a loss leaves Connected to the caller";

    EXPECT_TRUE(timesOut(f, 1, 1).empty()) << "further timeouts go straight to the loss";
    EXPECT_EQ(lostFlagAtCall, (std::vector<bool> { false, true }));
}

TEST(LinkEvents, ATransferFollowedByGoToSearchBuysOneLoggedReopen)
{
    FakeLink f;
    f.ready(1).Connected = true;
    timesOut(f, 1, 6);
    f.lib.event(1, EVENT_TRANSFER_TX_COMPLETED);
    EXPECT_EQ(f.link.TransferSeen, 1);
    f.lib.event(1, EVENT_RX_FAIL_GO_TO_SEARCH);
    EXPECT_EQ(f.link.TransferSeen, 0);
    EXPECT_TRUE(f.link.ReopenPending);
    f.log.clear();

    EXPECT_EQ(timesOut(f, 1, 1), repeatedCalls("OpenChannel(1)", 1));
    EXPECT_EQ(f.log.lines(), QStringList { "Cmd - OpenChannel(1)" });
    EXPECT_FALSE(f.link.TrainerLost);
    EXPECT_FALSE(f.link.ReopenPending);

    EXPECT_TRUE(timesOut(f, 1, 1).empty());
    EXPECT_TRUE(f.link.TrainerLost) << "the eighth timeout declares the loss";
}

TEST(LinkEvents, GoToSearchWithoutATransferClearsThePendingReopen)
{
    FakeLink f;
    f.ready(1);
    f.link.ReopenPending = true;
    f.link.RxFailRun = 3;
    f.lib.event(1, EVENT_RX_FAIL_GO_TO_SEARCH);
    EXPECT_FALSE(f.link.ReopenPending);
    EXPECT_EQ(f.link.RxFailRun, 0);
    EXPECT_TRUE(f.log.lines().isEmpty());

    f.lib.event(1, EVENT_TRANSFER_TX_FAILED);
    f.log.clear();
    f.lib.event(1, EVENT_RX_FAIL_GO_TO_SEARCH);
    EXPECT_EQ(f.log.lines(), QStringList { Interference });
}

TEST(LinkEvents, APacketBetweenTimeoutsStartsTheCountOver)
{
    FakeLink f;
    f.ready(1).Connected = true;
    timesOut(f, 1, 6);
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.take();
    EXPECT_EQ(timesOut(f, 1, 6), repeatedCalls("OpenChannel(1)", 6));
    EXPECT_FALSE(f.link.TrainerLost);
}

TEST(LinkEvents, LosingTheHeartBeltZeroesTheHeartRate)
{
    FakeLink f;
    f.ready(0);
    f.lib.packet(0, { 4, 0, 0, 0, 0, 0, 0, 72 });
    EXPECT_EQ(f.link.HeartRate, 72);
    f.link.HeartEventSeen = false;
    std::vector<int> lost;
    f.link.OnHeartLost = [&](std::uint8_t ch) { lost.push_back(ch); };

    timesOut(f, 0, 7);
    EXPECT_EQ(f.link.HeartRate, 0);
    EXPECT_TRUE(f.link.HeartEventSeen);
    EXPECT_EQ(lost, std::vector<int> { 0 });
    EXPECT_FALSE(f.link.TrainerLost);
}

TEST(LinkEvents, TimeoutsOfAChannelThatNeverConnectedLoseNothing)
{
    FakeLink f;
    f.ready(1);
    bool lost = false;
    f.link.OnTrainerLost = [&](std::uint8_t) { lost = true; };
    timesOut(f, 1, 9);
    EXPECT_FALSE(lost);
    EXPECT_FALSE(f.link.TrainerLost);
    EXPECT_EQ(f.log.lines().size(), 3) << "the interference line on each exhausted timeout";
}

TEST(LinkEvents, ReceiveFailuresCountUpAndAGoodPacketOrTransferResetsTheRun)
{
    FakeLink f;
    f.ready(1);
    f.lib.event(1, EVENT_RX_FAIL);
    f.lib.event(1, EVENT_RX_FAIL);
    EXPECT_EQ(f.log.lines(), (QStringList { "Rx Fail RF Freq:71 NoConnectCount:0.00.0 Channel: 1",
                                            "Rx Fail RF Freq:71 NoConnectCount:1.00.0 Channel: 1" }));
    EXPECT_EQ(f.link.RxFailRun, 2.0F);
    EXPECT_EQ(f.link.RxFailTotal, 2);

    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.link.RxFailRun, 0.0F);
    f.lib.event(1, EVENT_RX_FAIL);
    f.lib.event(1, EVENT_TRANSFER_TX_FAILED);
    EXPECT_EQ(f.link.RxFailRun, 0.0F);
    EXPECT_EQ(f.link.RxFailTotal, 3);
}

TEST(LinkEvents, TheRxFailLineUsesTheUsersDecimalSeparator)
{
    platform::ScopedLocale german(QLocale(QLocale::German));
    FakeLink f;
    f.ready(1);
    f.link.RxFailRun = 2;
    f.lib.event(1, EVENT_RX_FAIL);
    EXPECT_EQ(f.log.lines(), QStringList { "Rx Fail RF Freq:71 NoConnectCount:2,00.0 Channel: 1" });
}

struct TransferCase {
    std::uint8_t event;
    bool traffic;
    bool events;
    QStringList lines;
};

class LinkTransfer : public testing::TestWithParam<TransferCase> {};

TEST_P(LinkTransfer, CountsTheTransferAndWritesItsLines)
{
    const TransferCase& c = GetParam();
    FakeLink f;
    f.ready(1);
    f.link.LogTraffic = c.traffic;
    f.link.LogEvents = c.events;
    f.link.RxFailRun = 4;
    f.lib.event(1, c.event);
    EXPECT_EQ(f.log.lines(), c.lines);
    EXPECT_EQ(f.link.RxCount, 1);
    EXPECT_EQ(f.link.TransferSeen, 1);
    EXPECT_EQ(f.link.RxFailRun, 0.0F);
}

const QString AckLine = "Recv Ack(1): [01][01][05][00][00][00][00][00] RxCount:0";
const QString AckFailLine = "Recv Ack(1): [01][01][06][00][00][00][00][00] RxCount:0";

INSTANTIATE_TEST_SUITE_P(
    Switches, LinkTransfer,
    testing::Values(
        TransferCase { 5, true, true, { "EVENT_TRANSFER_TX_COMPLETED", AckLine, "EVENT_TRANSFER_TX_COMPLETED (1)" } },
        TransferCase { 5, false, true, { "EVENT_TRANSFER_TX_COMPLETED" } },
        TransferCase { 6, true, true, { AckFailLine, "EVENT_TRANSFER_TX_FAILED (1)", "EVENT_TRANSFER_TX_FAILED (1)" } },
        TransferCase { 6, true, false, { AckFailLine, "EVENT_TRANSFER_TX_FAILED (1)" } },
        TransferCase { 6, false, true, { "" } }, TransferCase { 6, false, false, {} }));

TEST(LinkEvents, AChannelClosedEventIsOneLine)
{
    FakeLink f;
    f.ready(3);
    f.lib.event(3, EVENT_CHANNEL_CLOSED);
    EXPECT_EQ(f.log.lines(), QStringList { "Ack - Channel Close3" });
}

TEST(LinkEvents, OtherEventCodesDoNothing)
{
    FakeLink f;
    f.ready(1);
    for (const std::uint8_t code : { 0x04, 0x09, 0x0A, 0x40, 0xFF })
        f.lib.event(1, code);
    EXPECT_TRUE(f.log.lines().isEmpty());
    EXPECT_TRUE(f.lib.take().empty());
    EXPECT_EQ(f.link.RxCount, 0);
}

TEST(LinkEvents, APacketWritesTheRawAndSummaryLinesAndIsAnswered)
{
    FakeLink f;
    f.ready(1, 12345);
    f.link.TxCount = 7;
    f.link.ResistanceLevel = 120;
    f.lib.packet(1, { 0x11, 0x2A, 0, 0, 0, 0, 0, 0x0B });
    EXPECT_EQ(f.raw.lines(), QStringList { "Rx(1): [01][11][2A][00][00][00][00][00] RF Freq:71 RxCount:7" });
    EXPECT_EQ(f.log.lines(), (QStringList { "Recv(1): [11][2A][00][00][00][00][00][0B] RF Freq:71 RxCount:1",
                                            "Tx(1):(1; [01] [78] [00] [00] [00] [00] [00] [00])" }));
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SendBroadcastData(1; 01 78 00 00 00 00 00 00)" }));
    EXPECT_EQ(f.link.RxCount, 1);
    EXPECT_EQ(f.link.TxCount, 7) << "the trainer reply is not counted";
}

TEST(LinkEvents, AChannelWithoutANumberAsksForItWithEveryPacket)
{
    FakeLink f;
    lumo_Channel& rec = f.ready(1, 0);
    for (int i = 0; i < 3; ++i)
        f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> {
                                 "RequestMessage(1; 81)", "SendBroadcastData(1; 01 00 00 00 00 00 00 00)",
                                 "RequestMessage(1; 81)", "SendBroadcastData(1; 01 00 00 00 00 00 00 00)",
                                 "RequestMessage(1; 81)", "SendBroadcastData(1; 01 00 00 00 00 00 00 00)" }));
    EXPECT_EQ(f.log.lines().count("ANT_RequestMessage -> channel event"), 3);
    EXPECT_FALSE(rec.Connected) << "the trainer counts as connected only once its number is known";

    f.lib.answer(1, MESG_CHANNEL_ID_ID, { 1, 0x39, 0x30, 19, 1 });
    EXPECT_EQ(rec.DeviceNumber, 12345u);
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SendBroadcastData(1; 01 00 00 00 00 00 00 00)" }));
    EXPECT_TRUE(rec.Connected);
}

// The transmit slot: the waiting trainer commands (while transmission is enabled), the console's
// keep-alive note and the raw line of what the channel holds.
TEST(LinkEvents, ATransmitSlotRunsTheCommandStepAndWritesTheRawTxLine)
{
    FakeLink f;
    lumo_Channel& trainer = f.ready(1);
    f.ready(3);
    f.link.QueueResistance(33);
    f.lib.event(1, EVENT_TX);
    EXPECT_EQ(trainer.TxData, (AntPayload { 0x01, 33, 0, 0, 0, 0, 0, 0 }));
    EXPECT_FALSE(f.link.ResistancePending);
    EXPECT_EQ(f.raw.lines(), QStringList { "Tx(1): [01][21][00][00][00][00][00][00] RF Freq:71 RxCount:0" });
    EXPECT_TRUE(f.lib.take().empty()) << "the resistance command waits for the next reply";

    f.raw.clear();
    f.lib.event(3, EVENT_TX);
    EXPECT_EQ(f.log.lines(), QStringList { "########## KAL SENT ########" });
    EXPECT_EQ(f.raw.lines(), QStringList { "Tx(3): [00][00][00][00][00][00][00][00] RF Freq:70 RxCount:0" });

    f.link.TxEnabled = false;
    f.link.ResistancePending = true;
    f.lib.event(1, EVENT_TX);
    EXPECT_TRUE(f.link.ResistancePending) << "no command step while transmission is disabled";
}
