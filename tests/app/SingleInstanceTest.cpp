// One Caltrix per user session and stick: the second start of a stick asks the first to come to
// the front and ends, another stick runs beside, and a socket left by a killed Caltrix is replaced.
#include "app/SingleInstance.h"

#include "ScopedEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace caltrix::app;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    // The later start runs on a thread of its own, as it would in its own process: it blocks
    // while this thread's event loop lets the first one answer.
    std::optional<CommandLineAnswer> claimMeanwhile(const QString& stick)
    {
        auto later = std::async(std::launch::async, [stick] { return SingleInstance(stick, {}).claim(); });
        const QDeadlineTimer patience(10'000);
        while (later.wait_for(std::chrono::seconds(0)) != std::future_status::ready && !patience.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return later.get();
    }

    // The runtime folder is the test's own, private as a session's is.
    QTemporaryDir runtime;
    ScopedEnv runtimeFolder { "XDG_RUNTIME_DIR", runtime.path() };
    int raised = 0;
};

} // namespace

TEST_F(SingleInstanceTest, ASecondStartOfTheSameStickRaisesTheFirstAndEndsWithStatus0)
{
    SingleInstance first(QStringLiteral("usb"), [this] { ++raised; });
    ASSERT_EQ(first.claim(), std::nullopt);
    const auto second = claimMeanwhile(QStringLiteral("usb"));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->exitCode, 0);
    EXPECT_TRUE(second->toStandardError);
    EXPECT_EQ(second->text,
        QStringLiteral("caltrix: Caltrix is already running for this stick (usb); its window was brought to the front.\n"));
    EXPECT_EQ(raised, 1);
}

TEST_F(SingleInstanceTest, AnotherStickRunsBesideAndEachStickHasASocketOfItsOwnInTheRuntimeFolder)
{
    SingleInstance first(QStringLiteral("usb"), [this] { ++raised; });
    ASSERT_EQ(first.claim(), std::nullopt);
    EXPECT_EQ(claimMeanwhile(QStringLiteral("serial:/dev/pts/7")), std::nullopt);
    EXPECT_EQ(raised, 0);
    const QString usb = InstanceSocketPath(QStringLiteral("usb"));
    EXPECT_TRUE(usb.startsWith(runtime.path() + QStringLiteral("/caltrix-")));
    EXPECT_NE(usb, InstanceSocketPath(QStringLiteral("serial:/dev/pts/7")));
    EXPECT_NE(usb, InstanceSocketPath(QStringLiteral("USB"))) << "the value as given";
}

TEST_F(SingleInstanceTest, ASocketLeftByAKilledCaltrixDoesNotBlockTheNextStart)
{
    // What a killed Caltrix leaves: a socket file that nobody listens on.
    const QByteArray path = InstanceSocketPath(QStringLiteral("usb")).toLocal8Bit();
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(left);

    SingleInstance next(QStringLiteral("usb"), [this] { ++raised; });
    EXPECT_EQ(next.claim(), std::nullopt);
    const auto after = claimMeanwhile(QStringLiteral("usb"));
    ASSERT_TRUE(after) << "the new start listens in the old one's place";
    EXPECT_EQ(after->exitCode, 0);
    EXPECT_EQ(raised, 1);
}

TEST_F(SingleInstanceTest, TheStickIsCaltrixAntAsGivenAndUsbWhenUnsetOrEmpty)
{
    for (const auto& [value, stick] : std::initializer_list<std::pair<std::optional<QString>, QString>> {
             { std::nullopt, QStringLiteral("usb") }, { QString(), QStringLiteral("usb") },
             { QStringLiteral("sim:trainer=5"), QStringLiteral("sim:trainer=5") } }) {
        ScopedEnv ant("CALTRIX_ANT", value);
        EXPECT_EQ(StickOfThisStart(), stick);
    }
}
