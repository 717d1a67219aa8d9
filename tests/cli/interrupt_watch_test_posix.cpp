// The stops velmora-cli watches for on POSIX: which signal stopped the run, and none left to kill
// the process once the watch has ended.
#include "cli/interrupt_watch.h"

#include <signal.h>

#include <gtest/gtest.h>

namespace {

TEST(InterruptWatchTest, TellsWhichSignalStoppedTheRun) {
    const struct {
        int signal;
        StopSignal stop;
    } kCases[] = {{SIGHUP, StopSignal::HangUp},
                  {SIGINT, StopSignal::Interrupt},
                  {SIGTERM, StopSignal::Terminate}};
    for (const auto& c : kCases) {
        InterruptWatch watch;
        EXPECT_EQ(StopSignal::None, watch.First());
        ASSERT_EQ(0, raise(c.signal));
        EXPECT_EQ(1, watch.Wait(1000)) << c.signal;
        EXPECT_EQ(c.stop, watch.First()) << c.signal;
        // A second stop is counted; the first one still names the cause.
        ASSERT_EQ(0, raise(SIGINT));
        EXPECT_EQ(2, watch.Wait(1000)) << c.signal;
        EXPECT_EQ(c.stop, watch.First()) << c.signal;
    }
}

// Were the signal still pending when the watch unblocks it, its default action would end the
// process here, before the port is closed.
TEST(InterruptWatchTest, ASignalAfterTheLastWaitIsTakenWhenTheWatchEnds) {
    {
        InterruptWatch watch;
        ASSERT_EQ(0, raise(SIGTERM));
        ASSERT_EQ(0, raise(SIGHUP));
    }
    sigset_t pending;
    sigemptyset(&pending);
    ASSERT_EQ(0, sigpending(&pending));
    EXPECT_FALSE(sigismember(&pending, SIGTERM));
    EXPECT_FALSE(sigismember(&pending, SIGHUP));
}

}  // namespace
