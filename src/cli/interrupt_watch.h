// The operator's ways of stopping velmora-cli while it runs an update: caught and counted
// instead of fatal.
#pragma once

// What stopped the run, by the number of the POSIX signal that its exit code adds to 128. On
// Windows, Ctrl-C and Ctrl-Break count as Interrupt; the console closing, logoff and shutdown as
// HangUp.
enum class StopSignal { None = 0, HangUp = 1, Interrupt = 2, Terminate = 15 };

// What a write's main thread watches for stops while the runs go on.
class StopWatch {
public:
    virtual ~StopWatch() = default;

    // Waits up to `milliseconds` for a stop; the number caught so far.
    virtual int Wait(int milliseconds) = 0;
    // The first stop caught; None before it.
    virtual StopSignal First() const = 0;
    // The run's way out has closed the port (and rebooted the board where it does), and its
    // outcome, table and results are written: a console that is closing may let the process go.
    virtual void WayOutDone() = 0;
};

// The process's signals or console events. One at a time, on the main thread, created before
// any other thread starts (on POSIX the signals are blocked in every thread and taken by Wait)
// and kept until the port is closed.
class InterruptWatch final : public StopWatch {
public:
    InterruptWatch();
    // A stop that comes after the last Wait is taken here, so that no default action ends the
    // process before its port is closed.
    ~InterruptWatch() override;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    int Wait(int milliseconds) override;
    StopSignal First() const override;
    void WayOutDone() override;
};
