// The link's two logs: the line formats, the traffic and event filters, unassigned targets, and
// the trace files a user can ask for through the environment.

#include "LinkHarness.h"
#include "ScopedEnv.h"

#include "ant/AntLogTexts.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;

namespace {

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TEST(LinkLog, TheRawReceiveLineShowsTheBufferFromTheChannelByteAndTheTransmitCount)
{
    FakeLink f;
    f.link.SetChannelParameters(5, 0, 8192, 0, 0, 0, 57, 1, AntKey {});
    f.link.StartChannelSetup(5);
    f.link.TxCount = 9;
    f.lib.packet(5, { 1, 2, 3, 4, 5, 6, 7, 8 });
    EXPECT_EQ(f.raw.lines(), QStringList { "Rx(5): [05][01][02][03][04][05][06][07] RF Freq:57 RxCount:9" });
}

TEST(LinkLog, HexFieldsTakeTheFieldAndSeparatorOfTheirLine)
{
    const std::array<std::uint8_t, 8> b { 0x05, 0xAB, 0, 0xFF, 1, 2, 3, 0x7F };
    EXPECT_EQ(hexFields(b), "[05][AB][00][FF][01][02][03][7F]");
    EXPECT_EQ(hexFields(b, text::KeyByteField, text::KeyByteSeparator), "[05] [AB] [00] [FF] [01] [02] [03] [7F]")
        << "the key's lower-case directive prints upper-case digits, as every hexadecimal field does";
}

TEST(LinkLog, TheChannelFilterKeepsOtherChannelsTrafficOutButNotTheirCommandsAndAnswers)
{
    FakeLink f;
    f.ready(1, 12345);
    f.ready(3, 777);
    f.link.LogFilterOn = true;
    f.link.LogFilterChannel = 1;

    f.lib.packet(3, { 0x05, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.event(3, EVENT_RX_FAIL);
    f.lib.event(3, EVENT_TX);
    f.lib.event(3, EVENT_CHANNEL_CLOSED);
    f.lib.commandAnswer(3, 0x4C);
    EXPECT_TRUE(f.raw.lines().isEmpty());
    EXPECT_EQ(f.log.lines(), (QStringList { "########## KAL SENT ########", "Ack - Channel Close3", "Ack - Close" }));

    f.log.clear();
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.raw.lines().size(), 1);
    EXPECT_EQ(f.log.lines().size(), 2) << "summary and reply lines of the selected channel";
}

TEST(LinkLog, EventAndTrafficSwitchesGateTheirOwnLines)
{
    FakeLink f;
    f.ready(1, 12345);
    f.link.LogEvents = false;
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(linesStartingWith(f.log.lines(), "Recv("), QStringList {});
    EXPECT_EQ(linesStartingWith(f.log.lines(), "Tx(1)").size(), 1);
    EXPECT_EQ(f.raw.lines().size(), 1);

    f.log.clear();
    f.raw.clear();
    f.link.LogEvents = true;
    f.link.LogTraffic = false;
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.log.lines(), QStringList { "Recv(1): [11][00][00][00][00][00][00][00] RF Freq:71 RxCount:2" });
    EXPECT_TRUE(f.raw.lines().isEmpty());
}

// Without targets the link works the same and nothing is written anywhere.
TEST(LinkLog, WithoutTargetsTheLinkRunsUnchanged)
{
    SimLink s;
    s.link.LogMemo = nullptr;
    s.link.RawMemo = nullptr;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 0, 0, 777 });
    s.link.WheelDiameter = 74;
    s.link.EventsPerTurn = 1;
    s.link.StartChannels();
    s.run(5000);
    EXPECT_TRUE(s.link.Channels[1]->Connected);
    EXPECT_EQ(s.link.Channels[1]->DeviceNumber, 12345u);
    EXPECT_GT(s.link.Speed, 0.0F);
    EXPECT_TRUE(s.log.lines().isEmpty());
    EXPECT_TRUE(s.raw.lines().isEmpty());
}

TEST(LinkLog, AFileTargetAppendsLineByLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.log");
    {
        FileLog log(path);
        ASSERT_TRUE(log.isOpen());
        log.appendLine("Cmd - Reset");
        log.appendLine(QString::fromUtf8("Tx(1): \u00e9"));
        EXPECT_EQ(fileLines(path), (QStringList { "Cmd - Reset", QString::fromUtf8("Tx(1): \u00e9") }))
            << "each line is on disk as soon as it is written";
    }
    FileLog again(path);
    again.appendLine("Cmd - Close");
    EXPECT_EQ(fileLines(path).size(), 3) << "an existing trace is appended to";
}

TEST(LinkLog, AFileThatCannotBeOpenedSaysWhyAndDropsLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/folder/trace.log");
    FileLog log(path);
    EXPECT_FALSE(log.isOpen());
    EXPECT_TRUE(log.error().contains(path)) << log.error().toStdString();
    log.appendLine("dropped");
}

TEST(LinkLog, TheEnvironmentSendsBothLogsOfANewLinkToFiles)
{
    VirtualTime time;
    QTemporaryDir dir;
    const QString logPath = dir.filePath("link.log");
    const QString rawPath = dir.filePath("raw.log");
    ScopedEnv log("CALTRIX_LOG", logPath);
    ScopedEnv raw("CALTRIX_RAW_LOG", rawPath);
    RecordingLibrary* lib = nullptr;
    AntLink = CreateAntLink([&lib] {
        auto l = std::make_unique<RecordingLibrary>();
        lib = l.get();
        return l;
    });
    ASSERT_NE(AntLink->LogMemo, nullptr);
    ASSERT_NE(AntLink->RawMemo, nullptr);

    AntLink->OpenStick(0);
    AntLink->SetChannelParameters(1, 1, 31814, 19, 1, 0, 71, 12345, AntKey {});
    AntLink->StartChannelSetup(1);
    lib->packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    AntLink.reset();

    const QStringList lines = fileLines(logPath);
    EXPECT_EQ(lines.mid(0, 3), (QStringList { "Chiave connessa!", "Cmd - Reset", "Set channel parameter array [1]" }));
    EXPECT_EQ(fileLines(rawPath), QStringList { "Rx(1): [01][11][00][00][00][00][00][00] RF Freq:71 RxCount:0" });
}

TEST(LinkLog, WithoutTheEnvironmentANewLinkLogsNowhere)
{
    VirtualTime time;
    ::unsetenv("CALTRIX_LOG");
    ::unsetenv("CALTRIX_RAW_LOG");
    auto link = CreateAntLink([] { return std::make_unique<RecordingLibrary>(); });
    EXPECT_EQ(link->LogMemo, nullptr);
    EXPECT_EQ(link->RawMemo, nullptr);
}
