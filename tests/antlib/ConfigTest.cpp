#include "antlib/AntConfig.h"
#include "antlib/AntDriver.h"
#include "antproto/Commands.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SimTransport.h"
#include "platform/Error.h"
#include "platform/VirtualClock.h"

#include <QtGlobal>
#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::antlib;
using namespace caltrix::antproto;

TEST(AntConfig, ParsesEveryFormOfCaltrixAnt)
{
    std::string error;
    EXPECT_EQ(parseAntConfig("", error)->kind, AntConfig::Kind::Usb);
    EXPECT_EQ(parseAntConfig("usb", error)->kind, AntConfig::Kind::Usb);
    EXPECT_EQ(parseAntConfig("sim", error)->kind, AntConfig::Kind::Sim);
    const auto serial = parseAntConfig("serial:/dev/ttyUSB0@115200,/dev/pts/4", error);
    ASSERT_TRUE(serial);
    ASSERT_EQ(serial->serialPorts.size(), 2u);
    EXPECT_EQ(serial->serialPorts[0].path, "/dev/ttyUSB0");
    EXPECT_EQ(serial->serialPorts[0].baudRate, 115200u);
    EXPECT_EQ(serial->serialPorts[1].path, "/dev/pts/4");
    EXPECT_FALSE(serial->serialPorts[1].baudRate);
}

TEST(AntConfig, TakesSettingsForTheVirtualSticksWorld)
{
    std::string error;
    const auto config = parseAntConfig(
        "sim:trainer=5,heart-rate=0,compact=77,loss=0.25,seed=9,tx-events,stall-after=5,vanish-after=6,"
        "trainer-silent-after=7.5",
        error);
    ASSERT_TRUE(config) << error;
    const auto options = worldOptions(config->sim);
    EXPECT_TRUE(options.trainer);
    EXPECT_EQ(options.trainerNumber, 5);
    EXPECT_FALSE(options.heartRate);
    EXPECT_TRUE(options.console);
    EXPECT_TRUE(options.compactTrainer);
    EXPECT_EQ(options.compactTrainerNumber, 77);
    EXPECT_DOUBLE_EQ(options.lossRate, 0.25);
    EXPECT_EQ(options.seed, 9u);
    EXPECT_TRUE(options.transmitSlotEvents);
    EXPECT_EQ(options.stallAfterS, 5.0);
    EXPECT_EQ(options.vanishAfterS, 6.0);
    EXPECT_EQ(options.trainerSilentAfterS, 7.5);
    EXPECT_EQ(options.keyB, defaultNetworkKeyB());
}

// A second trainer and a stick without the inclusion/exclusion list, for the search for trainers.
TEST(AntConfig, TakesASecondTrainerAndAStickWithoutTheIdList)
{
    std::string error;
    const auto config = parseAntConfig("sim:trainer2=54321,no-id-list,silent=sensor2", error);
    ASSERT_TRUE(config) << error;
    EXPECT_TRUE(config->sim.secondTrainer);
    EXPECT_EQ(config->sim.secondTrainerNumber, 54321);
    EXPECT_FALSE(config->sim.idList);
    EXPECT_FALSE(config->sim.transmitSlotEvents);
    EXPECT_TRUE(config->sim.trainer) << "the first trainer stays";
    for (const char* bad : { "sim:trainer2=70000", "sim:no-id-list=1", "sim:trainer2" }) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseAntConfig(bad, error));
    }
    EXPECT_FALSE(parseAntConfig("sim:trainer2=0", error)->sim.secondTrainer);
}

TEST(AntConfig, RejectsMalformedValuesWithOneLine)
{
    for (const char* bad : { "usb2", "serial:", "serial:/dev/ttyUSB0@fast", "serial:/dev/a,", "serial:/dev/a@0",
                             "sim:1", "sim:trainer=70000", "sim:loss=2", "sim:trainer=5,", "simulator",
                             "sim:stall-after=-1", "sim:vanish-after=soon", "sim:trainer-silent-after=" }) {
        SCOPED_TRACE(bad);
        std::string error;
        EXPECT_FALSE(parseAntConfig(bad, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_NE(error.find("CALTRIX_ANT"), std::string::npos);
    }
}

TEST(AntConfig, AMalformedValueFailsAntInitWithOneLineForAllEightTries)
{
    platform::VirtualClock clock;
    qputenv("CALTRIX_ANT", "bluetooth");
    AntDriver driver(clock, transportsFromEnvironment(clock));
    testing::internal::CaptureStderr();
    for (std::uint8_t n = 0; n < 8; ++n)
        EXPECT_FALSE(driver.ANT_Init(n, 57600, 0, 0));
    const std::string said = testing::internal::GetCapturedStderr();
    qunsetenv("CALTRIX_ANT");
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("bluetooth"), std::string::npos);
}

TEST(NetworkKeys, DefaultToTheAntPlusKeyAndOurOwnAndCanBeReplaced)
{
    qunsetenv("CALTRIX_ANT_KEY_A");
    qunsetenv("CALTRIX_ANT_KEY_B");
    EXPECT_EQ(networkKeyA(), (NetworkKeyBytes { 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45 }));
    EXPECT_EQ(networkKeyB(), defaultNetworkKeyB());
    qputenv("CALTRIX_ANT_KEY_B", "0102030405060a0B");
    EXPECT_EQ(networkKeyB(), (NetworkKeyBytes { 1, 2, 3, 4, 5, 6, 0x0A, 0x0B }));
    for (const char* bad : { "0102", "01020304050607GG", "0102030405060708090A" }) {
        qputenv("CALTRIX_ANT_KEY_B", bad);
        try {
            networkKeyB();
            ADD_FAILURE() << bad << " was accepted";
        } catch (const platform::Error& e) {
            EXPECT_NE(e.message().indexOf("CALTRIX_ANT_KEY_B"), -1);
        }
    }
    qunsetenv("CALTRIX_ANT_KEY_B");
}

// What the callbacks see of each kind of message, with the buffers cut to their sizes.
TEST(AntDriver, FillsTheRegisteredBufferJustBeforeEachCallback)
{
    platform::VirtualClock clock;
    AntDriver driver(clock, [](std::uint8_t, std::uint32_t, std::string&) { return nullptr; });
    std::array<std::uint8_t, 10> response {};
    std::array<std::uint8_t, 9> receive {};
    receive.fill(0xEE);
    std::vector<std::string> seen;
    driver.ANT_AssignResponseFunction(
        [&](std::uint8_t ch, std::uint8_t id) {
            seen.push_back("response " + std::to_string(ch) + " " + std::to_string(id) + " " + std::to_string(response[0])
                           + " " + std::to_string(response[9]));
            return std::uint8_t { 0 };
        },
        response);
    driver.ANT_AssignChannelEventFunction(
        2,
        [&](std::uint8_t ch, std::uint8_t event) {
            seen.push_back("event " + std::to_string(ch) + " " + std::to_string(event) + " " + std::to_string(receive[2])
                           + " " + std::to_string(receive[8]));
            return std::uint8_t { 0 };
        },
        receive);
    const std::array<std::uint8_t, 8> data { 1, 2, 3, 4, 5, 6, 7, 8 };
    std::vector<std::uint8_t> longPayload(41, 0x77);
    longPayload[0] = 2;
    driver.dispatch(command::broadcastData(2, data));
    driver.dispatch(command::channelEvent(2, 2));               // the rest of the buffer is cleared
    driver.dispatch(AntMessage(msg::BroadcastData, longPayload)); // extended data is cut to 8 bytes
    driver.dispatch(command::channelResponse(2, msg::OpenChannel, 0));
    driver.dispatch(AntMessage(msg::Capabilities, { 8, 3, 0, 0xBA, 0x36, 0, 0, 0, 0, 0, 0x55, 0x66 }));
    driver.dispatch(command::broadcastData(5, data)); // nobody listens on channel 5
    driver.dispatch(AntMessage(msg::ChannelResponse, {})); // empty: reads as zeros, never past the end
    EXPECT_EQ(seen, (std::vector<std::string> {
                        "event 2 154 2 8",
                        "event 2 2 2 0",
                        "event 2 154 119 119",
                        "response 2 64 2 0",
                        "response 0 84 8 0",
                        "response 0 64 0 0",
                    }));
}
