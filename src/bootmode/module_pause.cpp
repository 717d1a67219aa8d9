// The update module's interruptible pause: a wait on one event that every stop reason sets.
#include "bootmode/module_pause.h"

#include <chrono>
#include <mutex>

ModulePause::ModulePause(WaitClock& clock) : clock_(clock), reasons_(0) {}

namespace {

// How often a pause that must ignore a stop already raised looks for one it heeds.
const int kIgnoringSlice = 10;

}  // namespace

bool ModulePause::For(int milliseconds) {
    return For(milliseconds, ~0u);
}

bool ModulePause::For(int milliseconds, unsigned heeded) {
    const unsigned reasons = reasons_.load();
    if ((reasons & heeded) != 0) {
        return false;
    }
    if (reasons == 0) {
        // A stop sets the event and keeps it set, so a time-out means that none came.
        return !clock_.WaitFor(stopped_, milliseconds);
    }
    // A stop this pause ignores holds the event set: sleep in slices instead.
    for (int left = milliseconds; left > 0; left -= kIgnoringSlice) {
        clock_.Sleep(left < kIgnoringSlice ? left : kIgnoringSlice);
        if ((reasons_.load() & heeded) != 0) {
            return false;
        }
    }
    return true;
}

bool ModulePause::Until(int milliseconds, const std::function<bool()>& done) {
    const std::chrono::nanoseconds deadline =
        clock_.Now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // Reset before looking: a poke that comes after the look is not lost.
        poked_.Reset();
        if (done()) {
            return true;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - clock_.Now()).count();
        if (reasons_.load() != 0 || left <= 0) {
            return false;
        }
        clock_.WaitFor(poked_, static_cast<int>(left));
    }
}

void ModulePause::Poke() {
    poked_.Set();
}

void ModulePause::Raise(PauseStop reason) {
    std::lock_guard<Mutex> guard(lock_);
    reasons_.fetch_or(static_cast<unsigned>(reason));
    stopped_.Set();
    poked_.Set();
}

void ModulePause::Clear(PauseStop reason) {
    std::lock_guard<Mutex> guard(lock_);
    if ((reasons_.fetch_and(~static_cast<unsigned>(reason)) & ~static_cast<unsigned>(reason)) ==
        0) {
        stopped_.Reset();
    }
}

bool ModulePause::Holds(PauseStop reason) const {
    return (reasons_.load() & static_cast<unsigned>(reason)) != 0;
}

bool ModulePause::Stopped() const {
    return reasons_.load() != 0;
}
