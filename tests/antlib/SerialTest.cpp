#include "Conversation.h"

#include "antlib/AntDriver.h"
#include "antproto/AntMessage.h"
#include "antlib/ReaderThread.h"
#include "antlib/SerialTransport.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Clock.h"

#include "SimulatedWorld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

using namespace caltrix;
namespace msg = antproto::msg;
namespace code = antproto::code;

namespace {


// The library over the real serial transport, talking to the virtual stick behind a
// pseudo-terminal in the same process. Runs on the real clock: the bytes really travel through
// the terminal and the library's reader thread.
class SerialFixture : public testing::Test {
protected:
    SerialFixture()
        : world(clock, worldOptions())
        , stick(world)
        , pty(stick)
        , driver(clock, [this](std::uint8_t n, std::uint32_t baud, std::string&) -> std::unique_ptr<antproto::Transport> {
            if (n != 0)
                return nullptr;
            return std::make_unique<antlib::SerialTransport>(clock, pty.path(), baud);
        }, antlib::StallWatch { 500, 1000 })
    {
    }

    static antsim::WorldOptions worldOptions() { return caltrix::test::worldWithDefaultKeys(); }

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(pty.start(error)) << error;
        ASSERT_TRUE(driver.ANT_Init(0, 57600, 0, 0));
        driver.ANT_AssignResponseFunction(
            [this](std::uint8_t ch, std::uint8_t id) {
                responses.emplace_back(ch, id, response[1], response[2]);
                return std::uint8_t { 0 };
            },
            response);
        driver.ANT_AssignChannelEventFunction(
            1,
            [this](std::uint8_t, std::uint8_t event) {
                events.push_back(event);
                if (event == antproto::code::BroadcastReceived)
                    lastPage = receive;
                return std::uint8_t { 0 };
            },
            receive);
    }

    bool until(const std::function<bool()>& done) { return caltrix::test::processUntil(clock, done); }

    void configureTrainer() { antlib::test::configureTrainerChannel(driver, 12345); }

    platform::RealClock clock;
    antsim::SimWorld world;
    antsim::VirtualStick stick;
    antsim::PtyStick pty;
    antlib::AntDriver driver;
    std::array<std::uint8_t, 10> response {};
    std::array<std::uint8_t, 9> receive {};
    std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t>> responses;
    std::vector<std::uint8_t> events;
    std::array<std::uint8_t, 9> lastPage {};
};

} // namespace

TEST_F(SerialFixture, RunsTheWholeChannelConversationAndTheTrainerHearsTheResistance)
{
    driver.ANT_ResetSystem();
    ASSERT_TRUE(until([&] { return !responses.empty(); }));
    EXPECT_EQ(std::get<1>(responses[0]), msg::Startup);
    responses.clear();
    configureTrainer();
    ASSERT_TRUE(until([&] { return responses.size() >= 8; }));
    const std::uint8_t expected[] = { msg::NetworkKey, msg::AssignChannel, msg::ChannelId, msg::ChannelPeriod,
                                      msg::TxPower, msg::SearchTimeout, msg::RfFrequency, msg::OpenChannel };
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(std::get<2>(responses[i]), expected[i]);
        EXPECT_EQ(std::get<3>(responses[i]), code::NoError);
    }
    ASSERT_TRUE(until([&] { return !events.empty(); }));
    EXPECT_EQ(events[0], antproto::code::BroadcastReceived);
    EXPECT_EQ(lastPage[0], 1);
    const std::array<std::uint8_t, 8> resistance { 0x01, 150, 0, 0, 0, 0, 0, 0 };
    EXPECT_TRUE(driver.ANT_SendBroadcastData(1, resistance));
    ASSERT_TRUE(until([&] { return world.rider().resistance() == 150; }));
    ASSERT_TRUE(until([&] { return lastPage[1] == 0x11 && lastPage[2] == 150; }))
        << "the trainer reports its level on its next page";
}

TEST_F(SerialFixture, AStickThatVanishesIsReportedOnceAndItsChannelsGoSilent)
{
    configureTrainer();
    const auto lost = antlib::test::lossAfter(clock, events, [&] { pty.unplug(); });
    ASSERT_TRUE(lost);
    const std::string& said = *lost;
    EXPECT_TRUE(driver.stickLost());
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("ANT stick stopped answering"), std::string::npos) << said;
    EXPECT_EQ(driver.lastError() + "\n", said) << "kept for the program's message box";
    EXPECT_EQ(events, (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    const std::array<std::uint8_t, 8> data {};
    EXPECT_FALSE(driver.ANT_SendBroadcastData(1, data));
    driver.ANT_Close();
}

// A stick that hangs mid-ride (stops reading and answering, the terminal stays open) while the host
// goes on writing: no write waits, the stick is found hung, its
// channels report the loss, and closing still returns.
TEST_F(SerialFixture, AStickThatHangsMidRideIsFoundAndNoWriteWaits)
{
    configureTrainer();
    int refused = 0;
    const auto lost = antlib::test::lossAfter(clock, events, [&] {
        stick.stall();
        const std::array<std::uint8_t, 8> data {};
        for (int i = 0; i < 10'000; ++i) // far more than a terminal holds
            refused += driver.ANT_SendBroadcastData(1, data) ? 0 : 1;
    });
    ASSERT_TRUE(lost);
    EXPECT_GT(refused, 0) << "a full queue refuses instead of waiting";
    EXPECT_EQ(events, (std::vector<std::uint8_t> { code::SearchTimeout, code::ChannelClosed }));
    EXPECT_NE(lost->find("stopped answering"), std::string::npos) << *lost;
    driver.ANT_Close();
}

TEST_F(SerialFixture, ClosingWhileTheStickTalksNeitherHangsNorDeliversAfterwards)
{
    configureTrainer();
    ASSERT_TRUE(until([&] { return !events.empty(); }));
    driver.ANT_Close();
    const auto seen = events.size();
    clock.waitForEvents(100);
    clock.runMainRequests();
    EXPECT_EQ(events.size(), seen);
}

// A callback that closes the stick (a trainer-lost handler that disconnects) runs while the
// reader thread goes on reading: closing joins that thread instead of waiting for it for ever.
TEST_F(SerialFixture, ACallbackMayCloseTheStickItIsCalledFrom)
{
    bool closedInside = false;
    antlib::test::closeFromInsideADelivery(driver, receive, closedInside);
    configureTrainer();
    ASSERT_TRUE(until([&] { return closedInside; }));
    EXPECT_FALSE(driver.ANT_ResetSystem()) << "the stick is closed";
    ASSERT_TRUE(driver.ANT_Init(0, 57600, 0, 0)) << "and can be opened again";
}

namespace {
// The superuser may open an exclusive tty all the same; the tests run as root, so the second
// program is played by a thread without that right (capabilities belong to each thread).
void dropAdminRightOfThisThread()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data {};
    ASSERT_EQ(::syscall(SYS_capget, &header, data.data()), 0);
    data[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
    ASSERT_EQ(::syscall(SYS_capset, &header, data.data()), 0);
}

// Another program's attempt to open the serial stick at `path`: its error, "" when it got the stick.
std::string openAsAnotherProgram(platform::Clock& clock, const std::string& path)
{
    std::string error;
    std::thread other([&] {
        dropAdminRightOfThisThread();
        struct : antproto::TransportListener {
            void bytesReceived(std::span<const std::uint8_t>) override { }
            void transportLost(const std::string&) override { }
        } listener;
        antlib::SerialTransport transport(clock, path, 57600);
        transport.open(listener, error);
    });
    other.join();
    return error;
}

std::optional<termios> settingsOf(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio {};
    const bool read = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
    if (fd >= 0)
        ::close(fd);
    return read ? std::optional(tio) : std::nullopt;
}

bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag
        && std::ranges::equal(a.c_cc, b.c_cc) && ::cfgetispeed(&a) == ::cfgetispeed(&b)
        && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}
} // namespace

// A second program that opens the stick is refused ("busy") instead of taking half of its bytes,
// and is told what to do; once Caltrix closes the stick, the other program gets it.
TEST_F(SerialFixture, AnotherProgramIsRefusedTheStickUntilItIsClosed)
{
    const std::string refused = openAsAnotherProgram(clock, pty.path());
    EXPECT_NE(refused.find("The serial ANT stick " + pty.path() + " is in use by another program"), std::string::npos)
        << refused;
    EXPECT_NE(refused.find("close that program"), std::string::npos) << refused;
    EXPECT_EQ(refused.find('\n'), std::string::npos);
    driver.ANT_Close();
    EXPECT_EQ(openAsAnotherProgram(clock, pty.path()), "");
}

// The terminal is left as it was found: a cooked 9600-baud terminal is raw at the stick's rate
// while open, and cooked at 9600 baud again after closing.
TEST_F(SerialFixture, ClosingPutsTheTerminalSettingsBack)
{
    driver.ANT_Close();
    auto cooked = settingsOf(pty.path());
    ASSERT_TRUE(cooked);
    cooked->c_lflag |= ICANON | ECHO | ISIG;
    cooked->c_iflag |= ICRNL;
    cooked->c_oflag |= OPOST | ONLCR;
    ::cfsetispeed(&*cooked, B9600);
    ::cfsetospeed(&*cooked, B9600);
    {
        const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::tcsetattr(fd, TCSANOW, &*cooked), 0);
        ::close(fd);
    }
    const auto before = settingsOf(pty.path());
    ASSERT_TRUE(before);
    ASSERT_TRUE(driver.ANT_Init(0, 57600, 0, 0));
    const auto whileOpen = settingsOf(pty.path());
    ASSERT_TRUE(whileOpen);
    EXPECT_FALSE(sameSettings(*whileOpen, *before)) << "the stick runs raw at its own rate";
    EXPECT_EQ(whileOpen->c_lflag & ICANON, 0u);
    driver.ANT_Close();
    const auto after = settingsOf(pty.path());
    ASSERT_TRUE(after);
    EXPECT_TRUE(sameSettings(*after, *before));
}

TEST(SerialTransport, SaysWhyAStickCannotBeOpened)
{
    platform::RealClock clock;
    struct Case {
        const char* path;
        std::uint32_t baud;
        const char* mentions;
    } cases[] = {
        { "/dev/no-such-ant-stick", 57600, "/dev/no-such-ant-stick" },
        { "/dev/null", 57600, "not a terminal" },
        { "/dev/null", 50001, "115200" },
    };
    struct NoListener : antproto::TransportListener {
        void bytesReceived(std::span<const std::uint8_t>) override { }
        void transportLost(const std::string&) override { }
    } listener;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        antlib::SerialTransport transport(clock, c.path, c.baud);
        std::string error;
        EXPECT_FALSE(transport.open(listener, error));
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

namespace {
struct SilentListener final : antproto::TransportListener {
    void bytesReceived(std::span<const std::uint8_t>) override { }
    void transportLost(const std::string&) override { }
};
} // namespace

TEST(ReaderThread, DestroyedWhileRunningStopsTheThread)
{
    platform::RealClock clock;
    SilentListener listener;
    std::atomic<bool> woken { false };
    {
        antlib::ReaderThread reader(clock);
        reader.start(listener, [&] {
            woken.wait(false);
            return std::string();
        }, [&] {
            woken = true;
            woken.notify_all();
        });
    } // a joinable std::thread here would end the program
    EXPECT_TRUE(woken);
}
