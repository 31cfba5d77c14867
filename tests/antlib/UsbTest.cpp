#include "EmulatedUsb.h"
#include "StickBehindUsb.h"

#include "Conversation.h"

#include "antlib/AntDriver.h"
#include "antproto/AntMessage.h"
#include "antproto/Commands.h"
#include "antlib/NetworkKeys.h"
#include "antlib/UsbTransport.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>

#include <unistd.h>

using namespace caltrix;
using namespace caltrix::antlib;
using namespace caltrix::antproto;
using caltrix::antlib::test::EmulatedAntStick;
using caltrix::antlib::test::EmulatedUsb;
using caltrix::antlib::test::StickBehindUsb;

// Under ThreadSanitizer: umockdev, GLib and libusb are not instrumented, so what they do inside
// themselves (GLib's own locks, a mutex destroyed while the testbed unregisters a device) is left
// out by ignoring the interceptors they call. Every access of our own code is still checked, also
// from inside libusb's completion callbacks.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libglib-2.0.so\ncalled_from_lib:libumockdev.so\ncalled_from_lib:libumockdev-preload.so\n"
           "called_from_lib:libgio-2.0.so\n"
           "called_from_lib:libgobject-2.0.so\ncalled_from_lib:libusb-1.0.so\n";
}

namespace {

// libusb must find the emulated bus: the whole process runs under umockdev's preload.
const bool underUmockdev = (antlib::test::reexecUnderUmockdev(), true);

constexpr unsigned HardTimeoutSeconds = 100;  // a hang in libusb or the emulation fails the run
constexpr StallWatch QuickStallWatch { 500, 1000 }; // a hung stick found in real time, within a test's patience

class UsbFixture : public testing::Test {
protected:
    UsbFixture()
        : driver(
            clock, [this](std::uint8_t n, std::uint32_t, std::string&) { return std::make_unique<UsbTransport>(clock, n); },
            QuickStallWatch)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(underUmockdev);
        ::alarm(HardTimeoutSeconds);
    }
    void TearDown() override
    {
        driver.ANT_Close();
        ::alarm(0);
    }

    bool open(std::uint8_t n = 0)
    {
        if (!driver.ANT_Init(n, 57600, 0, 0))
            return false;
        driver.ANT_AssignResponseFunction(
            [this](std::uint8_t, std::uint8_t id) {
                responses.emplace_back(id, response[1], response[2]);
                return std::uint8_t { 0 };
            },
            response);
        driver.ANT_AssignChannelEventFunction(
            1,
            [this](std::uint8_t, std::uint8_t event) {
                events.push_back(event);
                return std::uint8_t { 0 };
            },
            receive);
        return true;
    }

    bool until(const std::function<bool()>& done) { return caltrix::test::processUntil(clock, done); }

    void configureTrainer() { antlib::test::configureTrainerChannel(driver, 0); }

    platform::RealClock clock;
    EmulatedUsb bus;
    AntDriver driver;
    std::array<std::uint8_t, 10> response {};
    std::array<std::uint8_t, 9> receive {};
    std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>> responses;
    std::vector<std::uint8_t> events;
};

} // namespace

TEST_F(UsbFixture, OpensTheNthAntStickInPortOrderAndIgnoresOtherDevices)
{
    bus.addDevice(0x1234, 0x5678, 1);         // another vendor
    bus.addDevice(0x0FCF, 0x1004, 2);         // the USB1 stick: a serial chip, not for libusb
    auto& second = bus.addAntStick(0x1009, 4);
    auto& first = bus.addAntStick(0x1008, 3);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open(0));
    EXPECT_TRUE(first.claimed());
    EXPECT_FALSE(second.claimed());
    ASSERT_TRUE(open(1));
    EXPECT_FALSE(first.claimed()) << "the first stick was released when the library moved on";
    EXPECT_TRUE(second.claimed());
    EXPECT_FALSE(open(2));
    driver.ANT_Close();
    EXPECT_FALSE(second.claimed());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "absent sticks are no error";
}

TEST_F(UsbFixture, SaysInOneLineWhenTheStickIsHeldByAnotherProgram)
{
    bus.addAntStick(0x1008, 1).setBusy(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open(0));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("in use by another program"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(driver.lastError() + "\n", said) << "kept for the program's message box";
}

// The whole configuration conversation through libusb, with the stick's answers cut into
// transfers of every size: frames split across transfers and packed several into one.
TEST_F(UsbFixture, RunsTheChannelConversationWhateverTheTransferSizes)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    StickBehindUsb stick(clock, usb);
    for (std::size_t transfer : { std::size_t { 512 }, std::size_t { 5 }, std::size_t { 1 } }) {
        SCOPED_TRACE(transfer);
        usb.setMaxTransfer(transfer);
        responses.clear();
        events.clear();
        ASSERT_TRUE(open(0));
        driver.ANT_ResetSystem();
        ASSERT_TRUE(until([&] { return !responses.empty(); }));
        EXPECT_EQ(std::get<0>(responses[0]), msg::Startup);
        responses.clear();
        configureTrainer();
        driver.ANT_RequestMessage(1, msg::ChannelId);
        ASSERT_TRUE(until([&] { return responses.size() >= 9; }));
        const std::uint8_t answered[] = { msg::NetworkKey, msg::AssignChannel, msg::ChannelId, msg::ChannelPeriod,
                                          msg::TxPower, msg::SearchTimeout, msg::RfFrequency, msg::OpenChannel };
        for (std::size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(std::get<0>(responses[i]), msg::ChannelResponse);
            EXPECT_EQ(std::get<1>(responses[i]), answered[i]);
            EXPECT_EQ(std::get<2>(responses[i]), code::NoError);
        }
        EXPECT_EQ(std::get<0>(responses[8]), msg::ChannelId);
        ASSERT_TRUE(until([&] { return !events.empty(); }));
        EXPECT_EQ(events[0], code::BroadcastReceived);
        EXPECT_EQ(receive[0], 1);
    }
    // The host's bytes on bulk OUT are exactly the encoded commands.
    const auto written = usb.written();
    const auto reset = encodeFrame(command::resetSystem());
    ASSERT_GE(written.size(), reset.size);
    EXPECT_TRUE(std::equal(reset.bytes().begin(), reset.bytes().end(), written.begin()));
}

// One read stays submitted with no timeout: data comes through whenever it arrives, and closing
// cancels the read (DISCARDURB) instead of waiting for it.
TEST_F(UsbFixture, TheReadStaysSubmittedUntilClosingCancelsIt)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    ASSERT_TRUE(open(0));
    const auto startup = encodeFrame(command::startup(0x20));
    usb.queueIn(startup.bytes());
    ASSERT_TRUE(until([&] { return !responses.empty(); }));
    EXPECT_EQ(std::get<0>(responses[0]), msg::Startup);
    EXPECT_EQ(response[0], 0x20);
    ASSERT_TRUE(until([&] { return usb.pendingReads() == 1; })) << "the read is submitted again";
    EXPECT_EQ(usb.discards(), 0u);
    driver.ANT_Close();
    EXPECT_EQ(usb.discards(), 1u);
    EXPECT_FALSE(usb.claimed());
}

TEST_F(UsbFixture, AStickPulledOutIsReportedOnceAndItsChannelsGoSilent)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    StickBehindUsb stick(clock, usb);
    ASSERT_TRUE(open(0));
    configureTrainer();
    const auto lost = antlib::test::lossAfter(clock, events, [&] { usb.unplug(); });
    ASSERT_TRUE(lost);
    const std::string& said = *lost;
    EXPECT_EQ(events, (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("stopped answering"), std::string::npos) << said;
    EXPECT_NE(said.find("NO_DEVICE"), std::string::npos) << "libusb's name for it: " << said;
    const std::array<std::uint8_t, 8> data {};
    EXPECT_FALSE(driver.ANT_SendBroadcastData(1, data));
}

// A callback that closes the stick runs while the reader thread still handles libusb's events:
// closing cancels the read and joins that thread without a deadlock.
TEST_F(UsbFixture, ACallbackMayCloseTheStickItIsCalledFrom)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    StickBehindUsb stick(clock, usb);
    ASSERT_TRUE(open(0));
    bool closedInside = false;
    antlib::test::closeFromInsideADelivery(driver, receive, closedInside);
    configureTrainer();
    ASSERT_TRUE(until([&] { return closedInside; }));
    EXPECT_FALSE(usb.claimed());
    EXPECT_FALSE(driver.ANT_ResetSystem()) << "the stick is closed";
}

// A stick that hangs mid-ride (takes no transfers, sends nothing) while the host goes on writing:
// no write waits, the stick is found hung and its channels report the loss, and closing cancels
// the transfers in flight instead of waiting for them.
TEST_F(UsbFixture, AStickThatHangsMidRideIsFoundAndClosingCancelsItsTransfers)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    StickBehindUsb stick(clock, usb);
    ASSERT_TRUE(open(0));
    configureTrainer();
    const auto lost = antlib::test::lossAfter(clock, events, [&] {
        usb.stall();
        const std::array<std::uint8_t, 8> data {};
        for (int i = 0; i < 200; ++i)
            driver.ANT_SendBroadcastData(1, data);
    });
    ASSERT_TRUE(lost);
    EXPECT_EQ(events, (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    EXPECT_NE(lost->find("stopped answering"), std::string::npos) << *lost;
    const auto discardsBefore = usb.discards();
    driver.ANT_Close();
    EXPECT_GT(usb.discards(), discardsBefore) << "the read in flight was cancelled";
    EXPECT_FALSE(usb.claimed());
}

// A stick whose transfers never come back, not even when cancelled: closing waits about a second
// for them, then releases the stick without them and says so in one line.
TEST_F(UsbFixture, ClosingGivesUpOnCancellationsThatNeverCompleteAndReleasesTheStick)
{
    auto& usb = bus.addAntStick(0x1008, 1);
    ASSERT_TRUE(open(0));
    ASSERT_TRUE(until([&] { return usb.pendingReads() == 1; }));
    usb.stall();
    usb.holdCancelledTransfers();
    ASSERT_TRUE(driver.ANT_ResetSystem()) << "an OUT transfer the hung stick holds";
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    driver.ANT_Close();
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(usb.discards(), 2u) << "the read and the write were cancelled";
    EXPECT_FALSE(usb.claimed());
    EXPECT_EQ(said, "The ANT USB stick did not give back 2 cancelled transfers within 1000 ms; it is released "
                    "without them.\n");
    EXPECT_GE(took, std::chrono::milliseconds(UsbTransport::CancelWaitMs));
    EXPECT_LT(took, std::chrono::seconds(10)) << "a bounded wait, not a hang";
}
