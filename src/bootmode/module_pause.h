// The one way the update module waits: every fixed delay and every poll interval is a pause that
// ends at once when the run cannot go on, for example because the COM port's device is gone.
#pragma once

#include <atomic>
#include <functional>

#include "serial/thread_sync.h"
#include "serial/wait_clock.h"

// Why pauses end early. Each is a bit: several may hold at once, and each is cleared on its own.
enum class PauseStop : unsigned {
    LinkLost = 1,     // the port's reader thread ended on an I/O failure
    Interrupted = 2,  // the operator stopped the run: no frame goes out any more
    Aborted = 4       // the operator insisted: even the waits for the port end at once
};

class ModulePause {
public:
    // Every wait goes through `clock`, which outlives the pause.
    explicit ModulePause(WaitClock& clock);
    ModulePause(const ModulePause&) = delete;
    ModulePause& operator=(const ModulePause&) = delete;

    // Waits `milliseconds`, exactly as a sleep would, unless a stop holds or comes first. True
    // when the whole time passed.
    bool For(int milliseconds);
    // The same, ending only for the stops in `heeded` (PauseStop bits).
    bool For(int milliseconds, unsigned heeded);
    // Waits up to `milliseconds` until `done` holds, looking again at each Poke; ends at once on
    // any stop. True when `done` held.
    bool Until(int milliseconds, const std::function<bool()>& done);
    // From any thread: something `done` looks at has changed (received bytes).
    void Poke();

    // From any thread: ends the pause under way and every later one until Clear.
    void Raise(PauseStop reason);
    void Clear(PauseStop reason);
    bool Holds(PauseStop reason) const;
    // Any stop holds.
    bool Stopped() const;

private:
    WaitClock& clock_;
    // Raise and Clear against each other, so that `stopped_` is set exactly while a reason holds.
    Mutex lock_;
    std::atomic<unsigned> reasons_;
    Event stopped_;
    Event poked_;  // set by Poke and by every stop
};
