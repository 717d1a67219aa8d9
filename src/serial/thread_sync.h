// Locks, events and sleeps for portable code: Win32 primitives or POSIX ones behind one interface.
#pragma once

#include <memory>

// A non-recursive lock; lock()/unlock() make it usable with std::lock_guard.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock();
    void unlock();

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

// A manual-reset event: once set, every wait returns true until Reset.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits until the event is set; a negative timeout waits forever. False on time-out.
    bool Wait(int timeoutMilliseconds);

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

void SleepMilliseconds(int milliseconds);
