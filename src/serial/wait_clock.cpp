// The system's steady clock behind the update module's waits.
#include "serial/wait_clock.h"

#include "serial/thread_sync.h"

std::chrono::nanoseconds SystemWaitClock::Now() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

bool SystemWaitClock::WaitFor(Event& event, int milliseconds) {
    return event.Wait(milliseconds);
}

void SystemWaitClock::Sleep(int milliseconds) {
    SleepMilliseconds(milliseconds);
}
