// The console events velmora-cli watches for on Windows, handed to its handler directly: a console
// under Wine cannot be closed, logged off or shut down. A closing console must hold the handler's
// thread until the way out has closed the port, because Windows ends the process once it returns.
#include "cli/interrupt_watch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "cli/console_events_win32.h"

namespace {

struct Delivery {
    DWORD event;
    BOOL handled;
};

DWORD WINAPI Deliver(LPVOID parameter) {
    Delivery* delivery = static_cast<Delivery*>(parameter);
    delivery->handled = OnConsoleEvent(delivery->event);
    return 0;
}

// The handler's call on a thread of its own, as Windows makes it.
HANDLE StartDelivery(Delivery* delivery) {
    return CreateThread(NULL, 0, Deliver, delivery, 0, NULL);
}

TEST(InterruptWatchTest, CtrlCIsCountedAndReturnsAtOnce) {
    InterruptWatch watch;
    Delivery delivery = {CTRL_C_EVENT, FALSE};
    HANDLE thread = StartDelivery(&delivery);
    ASSERT_NE(static_cast<HANDLE>(NULL), thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 1000));
    CloseHandle(thread);
    EXPECT_TRUE(delivery.handled);
    EXPECT_EQ(1, watch.Wait(1000));
    EXPECT_EQ(StopSignal::Interrupt, watch.First());
}

TEST(InterruptWatchTest, ClosingEventsWaitForTheWayOut) {
    for (DWORD event : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        InterruptWatch watch;
        Delivery delivery = {event, FALSE};
        HANDLE thread = StartDelivery(&delivery);
        ASSERT_NE(static_cast<HANDLE>(NULL), thread);
        EXPECT_EQ(1, watch.Wait(2000)) << event;
        EXPECT_EQ(StopSignal::HangUp, watch.First()) << event;
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 500)) << event;
        watch.WayOutDone();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 1000)) << event;
        CloseHandle(thread);
        EXPECT_TRUE(delivery.handled) << event;
    }
}

// A way out that takes too long must not keep the handler past the time Windows gives it.
TEST(InterruptWatchTest, ClosingConsoleIsLetGoWithinTheTimeWindowsAllows) {
    InterruptWatch watch;
    Delivery delivery = {CTRL_CLOSE_EVENT, FALSE};
    const DWORD started = GetTickCount();
    HANDLE thread = StartDelivery(&delivery);
    ASSERT_NE(static_cast<HANDLE>(NULL), thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 6000));
    const DWORD held = GetTickCount() - started;
    CloseHandle(thread);
    EXPECT_GE(held, 4000u);
    EXPECT_LT(held, 5000u);
}

}  // namespace
