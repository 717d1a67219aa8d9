// The bounded wait, on the steady clock and the portable sleep (no std::thread under Win32).
#include "support/wait_until.h"

#include <chrono>

#include "serial/thread_sync.h"

bool WaitUntil(const std::function<bool()>& condition, int timeoutMilliseconds,
               int pollMilliseconds) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        SleepMilliseconds(pollMilliseconds);
    }
    return condition();
}
