// The update module's interruptible pause: a wait on one event that every stop reason sets.
#include "bootmode/module_pause.h"

#include <mutex>

ModulePause::ModulePause() : reasons_(0) {}

bool ModulePause::For(int milliseconds) {
    if (reasons_.load() != 0) {
        return false;
    }
    // A stop sets the event and keeps it set, so a time-out means that none came.
    return !stopped_.Wait(milliseconds);
}

void ModulePause::Raise(PauseStop reason) {
    std::lock_guard<Mutex> guard(lock_);
    reasons_.fetch_or(static_cast<unsigned>(reason));
    stopped_.Set();
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
