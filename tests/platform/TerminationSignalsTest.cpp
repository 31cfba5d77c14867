// SIGTERM, SIGINT and SIGHUP handed to the main thread's event loop, and the process's own
// handlers back afterwards.
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <csignal>
#include <vector>

#include <gtest/gtest.h>

using caltrix::platform::TerminationSignals;

namespace {

// Processes events until `count` signals were reported, or for at most a long bound.
bool processUntilReported(const std::vector<int>& reported, std::size_t count)
{
    const QDeadlineTimer patience(10'000);
    while (reported.size() < count && !patience.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return reported.size() >= count;
}

} // namespace

TEST(TerminationSignals, EachSignalReachesTheEventLoopWithItsNumberInsteadOfEndingTheProcess)
{
    std::vector<int> reported;
    TerminationSignals watcher([&](int signal) { reported.push_back(signal); });
    ASSERT_TRUE(watcher.watching());
    for (const int signal : { SIGTERM, SIGINT, SIGHUP }) {
        reported.clear();
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_TRUE(reported.empty()) << "the handler itself calls nothing";
        ASSERT_TRUE(processUntilReported(reported, 1));
        EXPECT_EQ(reported, std::vector<int> { signal });
    }
}

TEST(TerminationSignals, SignalsArrivingTogetherAreReportedOnceEachAndASecondWatcherIsRefused)
{
    std::vector<int> reported;
    TerminationSignals watcher([&](int signal) { reported.push_back(signal); });
    TerminationSignals second([](int) { ADD_FAILURE() << "a second watcher was called"; });
    EXPECT_FALSE(second.watching());
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    std::raise(SIGTERM);
    ASSERT_TRUE(processUntilReported(reported, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, (std::vector<int> { SIGTERM, SIGHUP }));
}

TEST(TerminationSignals, TheEarlierHandlersComeBackWhenTheWatcherGoes)
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction earlier {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &earlier), 0);
    {
        const TerminationSignals watcher([](int) { });
        struct sigaction during {};
        ::sigaction(SIGHUP, nullptr, &during);
        EXPECT_NE(during.sa_handler, SIG_IGN);
    }
    struct sigaction after {};
    ::sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_IGN);
    ::sigaction(SIGHUP, &earlier, nullptr);
    const TerminationSignals again([](int) { });
    EXPECT_TRUE(again.watching()) << "a watcher can follow the one that went";
}
