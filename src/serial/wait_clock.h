// Time as the update module's waits see it: the system's steady clock for real ports, a virtual
// one for a simulated board in process, so that a whole session's fixed delays take no time.
#pragma once

#include <chrono>

class Event;

class WaitClock {
public:
    virtual ~WaitClock() = default;

    // Steady time since an arbitrary start; it never goes back.
    virtual std::chrono::nanoseconds Now() = 0;
    // Waits until `event` is set or `milliseconds` have passed; true when it was set. A negative
    // time waits for the event alone.
    virtual bool WaitFor(Event& event, int milliseconds) = 0;
    virtual void Sleep(int milliseconds) = 0;
};

// The system's steady clock and the platform's waits; it keeps no state, so one serves any
// number of modules and threads.
class SystemWaitClock final : public WaitClock {
public:
    std::chrono::nanoseconds Now() override;
    bool WaitFor(Event& event, int milliseconds) override;
    void Sleep(int milliseconds) override;
};
