// Ctrl-C and SIGTERM while velmora-cli runs an update: caught and counted instead of fatal.
#pragma once

// One at a time, on the main thread, created before any other thread starts (on POSIX the
// signals are blocked in every thread and taken by Wait).
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Waits up to `milliseconds` for an interrupt; the number caught so far.
    int Wait(int milliseconds);
};
