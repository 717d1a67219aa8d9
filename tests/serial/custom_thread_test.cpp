// CustomThread: start parameter, hook order, handle bookkeeping and failed creation.
#include "serial/custom_thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "support/wait_until.h"

namespace {

thread_local int threadMarker = 0;

class RecordingThread : public CustomThread {
public:
    void PreRun() override {
        preRunMarker = &threadMarker;
        preRunCalls++;
    }
    void Run(int32_t param) override {
        runMarker = &threadMarker;
        receivedParam = param;
        runAfterPreRun = preRunCalls.load() == 1;
        runCalls++;
        if (holdRun) {
            release.Wait(-1);
        }
        finishedRun = true;
    }

    bool holdRun = false;
    Event release;
    std::atomic<int> preRunCalls{0};
    std::atomic<int> runCalls{0};
    std::atomic<bool> runAfterPreRun{false};
    std::atomic<bool> finishedRun{false};
    int* preRunMarker = nullptr;
    int* runMarker = nullptr;
    int32_t receivedParam = 0;
};

TEST(CustomThreadTest, RunsPreRunThenRunWithTheStartParameterOnANewThread) {
    // Taken before the other thread starts: a copy freed with its thread could otherwise leave its
    // address to this thread's first one.
    int* ownMarker = &threadMarker;
    RecordingThread thread;
    ASSERT_TRUE(thread.Start(7));
    thread.WaitUntilFinished();
    EXPECT_EQ(7, thread.receivedParam);
    EXPECT_EQ(1, thread.preRunCalls.load());
    EXPECT_EQ(1, thread.runCalls.load());
    EXPECT_TRUE(thread.runAfterPreRun.load());
    EXPECT_EQ(thread.preRunMarker, thread.runMarker);
    EXPECT_NE(ownMarker, thread.runMarker);
}

TEST(CustomThreadTest, HandleIsRecordedWhileTheBodyRunsAndNoneAfterIt) {
    RecordingThread thread;
    thread.holdRun = true;
    EXPECT_FALSE(thread.HasThreadHandle());
    ASSERT_TRUE(thread.Start(0));
    EXPECT_TRUE(thread.HasThreadHandle());
    EXPECT_FALSE(thread.finishedRun.load());
    thread.release.Set();
    thread.WaitUntilFinished();
    EXPECT_TRUE(thread.finishedRun.load());
    EXPECT_FALSE(thread.HasThreadHandle());
}

TEST(CustomThreadTest, IsFinishedOnlyOnceTheBodyHasReturned) {
    RecordingThread thread;
    thread.holdRun = true;
    EXPECT_TRUE(thread.IsFinished());  // nothing started: nothing to wait for
    ASSERT_TRUE(thread.Start(0));
    EXPECT_FALSE(thread.IsFinished());
    thread.release.Set();
    EXPECT_TRUE(WaitUntil([&thread] { return thread.IsFinished(); }, 10000, 10));
    EXPECT_TRUE(thread.finishedRun.load());
    EXPECT_FALSE(thread.HasThreadHandle());
}

TEST(CustomThreadTest, OwnerWaitEndsForBodiesThatReturnBeforeStartDoes) {
    for (int i = 0; i < 200; ++i) {
        RecordingThread thread;
        ASSERT_TRUE(thread.Start(i));
        thread.WaitUntilFinished();
        EXPECT_EQ(i, thread.receivedParam);
        EXPECT_FALSE(thread.HasThreadHandle());
    }
}

class UncreatableThread : public RecordingThread {
protected:
    bool CreatePlatformThread(void (*)(void*), void*, std::uintptr_t*, uint32_t*) override {
        return false;
    }
};

TEST(CustomThreadTest, FailedCreationReturnsFalseAndRunsNothing) {
    UncreatableThread thread;
    bool started = thread.Start(7);

    EXPECT_FALSE(started);
    EXPECT_FALSE(thread.HasThreadHandle());
    thread.WaitUntilFinished();  // returns at once: nothing was started
    EXPECT_TRUE(thread.IsFinished());
    EXPECT_EQ(0, thread.preRunCalls.load());
    EXPECT_EQ(0, thread.runCalls.load());
}

}  // namespace
