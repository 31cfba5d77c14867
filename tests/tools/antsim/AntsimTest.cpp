#include "antlib/AntDriver.h"
#include "antproto/AntMessage.h"
#include "antproto/DeviceProfiles.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SerialTransport.h"
#include "platform/Clock.h"

#include "ProcessUntil.h"
#include "SpawnedProcess.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <functional>

using namespace caltrix;
namespace msg = antproto::msg;
namespace code = antproto::code;

using caltrix::test::PatienceMs;
using caltrix::test::processUntil;

TEST(Antsim, PrintsItsHelp)
{
    QProcess antsim;
    antsim.start(ANTSIM_PATH, { "--help" });
    ASSERT_TRUE(antsim.waitForFinished(PatienceMs));
    EXPECT_EQ(antsim.exitCode(), 0);
    const QString help = antsim.readAllStandardOutput();
    for (const char* option : { "--silent", "--seed", "--stall-after", "--vanish-after", "--trainer-silent-after" })
        EXPECT_TRUE(help.contains(option)) << option;
}

TEST(Antsim, RefusesAnUnknownDeviceWithOneLine)
{
    QProcess antsim;
    antsim.start(ANTSIM_PATH, { "--silent", "bicycle" });
    ASSERT_TRUE(antsim.waitForFinished(PatienceMs));
    EXPECT_NE(antsim.exitCode(), 0);
    EXPECT_EQ(QString(antsim.readAllStandardError()).count('\n'), 1);
}

// antsim started with `arguments`, its terminal's path read from its first line.
std::string startAntsim(test::SpawnedProcess& antsim)
{
    return antsim.started() ? antsim.readLine(PatienceMs) : std::string {};
}

// The heart-rate belt's channel (0) configured through `driver`; false when no packet came.
bool listenToTheBelt(platform::Clock& clock, antlib::AntDriver& driver, std::array<std::uint8_t, 9>& receive,
                     std::vector<std::uint8_t>& events)
{
    driver.ANT_AssignChannelEventFunction(
        0, [&](std::uint8_t, std::uint8_t e) { events.push_back(e); return std::uint8_t { 0 }; }, receive);
    driver.ANT_SetNetworkKey(0, antlib::defaultNetworkKeyA());
    driver.ANT_AssignChannel(0, 0, 0);
    const auto& belt = antproto::profile::HeartRateBelt;
    driver.ANT_SetChannelId(0, 777, belt.deviceType, belt.transmissionType);
    driver.ANT_SetChannelPeriod(0, belt.period);
    driver.ANT_SetChannelRFFreq(0, belt.rfFrequency);
    driver.ANT_OpenChannel(0);
    return processUntil(clock, [&] { return !events.empty(); }) && events[0] == antproto::code::BroadcastReceived;
}

// The library opens antsim's terminal through CALTRIX_ANT=serial:PATH and talks to the world
// behind it; when antsim ends, the library notices the stick is gone.
TEST(Antsim, ServesTheLibraryThroughCaltrixAntSerial)
{
    test::SpawnedProcess antsim(ANTSIM_PATH, { "--console", "0", "--heart-rate", "777" });
    const std::string path = startAntsim(antsim);
    ASSERT_TRUE(path.starts_with("/dev/")) << path;

    platform::RealClock clock;
    qputenv("CALTRIX_ANT", QByteArray("serial:") + path.c_str());
    antlib::AntDriver driver(clock, antlib::transportsFromEnvironment(clock));
    const bool second = driver.ANT_Init(1, 57600, 0, 0);
    const bool opened = driver.ANT_Init(0, 57600, 0, 0);
    qunsetenv("CALTRIX_ANT");
    EXPECT_FALSE(second) << "the list names one stick";
    ASSERT_TRUE(opened);

    std::array<std::uint8_t, 10> response {};
    std::array<std::uint8_t, 9> receive {};
    std::vector<std::uint8_t> ids;
    std::vector<std::uint8_t> events;
    driver.ANT_AssignResponseFunction([&](std::uint8_t, std::uint8_t id) { ids.push_back(id); return std::uint8_t { 0 }; },
                                      response);
    driver.ANT_ResetSystem();
    ASSERT_TRUE(processUntil(clock, [&] { return !ids.empty(); }));
    EXPECT_EQ(ids[0], msg::Startup);
    ASSERT_TRUE(listenToTheBelt(clock, driver, receive, events));
    EXPECT_GT(receive[8], 60) << "a heart rate";

    events.clear();
    testing::internal::CaptureStderr();
    antsim.terminate();
    const bool silent = processUntil(clock, [&] { return events.size() >= 2; });
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(silent);
    EXPECT_EQ(events, (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    EXPECT_NE(said.find("stopped answering"), std::string::npos);
    driver.ANT_Close();
    antsim.waitForFinished(PatienceMs);
}

// antsim's stick hangs on cue (the terminal stays open, nothing is read or answered): the library
// finds it hung, its channel reports the loss, and closing returns.
TEST(Antsim, AStickThatHangsOnCueIsFoundHung)
{
    test::SpawnedProcess antsim(ANTSIM_PATH, { "--console", "0", "--heart-rate", "777", "--stall-after", "2" });
    const std::string path = startAntsim(antsim);
    ASSERT_TRUE(path.starts_with("/dev/")) << path;
    platform::RealClock clock;
    antlib::AntDriver driver(
        clock,
        [&](std::uint8_t n, std::uint32_t baud, std::string&) -> std::unique_ptr<antproto::Transport> {
            return n == 0 ? std::make_unique<antlib::SerialTransport>(clock, path, baud) : nullptr;
        },
        antlib::StallWatch { 500, 1000 });
    ASSERT_TRUE(driver.ANT_Init(0, 57600, 0, 0));
    std::array<std::uint8_t, 9> receive {};
    std::vector<std::uint8_t> events;
    ASSERT_TRUE(listenToTheBelt(clock, driver, receive, events));
    testing::internal::CaptureStderr();
    const bool lost = processUntil(clock, [&] { return driver.stickLost(); });
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(lost);
    EXPECT_NE(said.find("stopped answering"), std::string::npos) << said;
    EXPECT_TRUE(processUntil(clock, [&] { return events.back() == code::ChannelClosed; }));
    driver.ANT_Close();
    antsim.terminate();
    antsim.waitForFinished(PatienceMs);
}
