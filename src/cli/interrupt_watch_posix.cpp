// SIGINT, SIGTERM and SIGHUP, blocked in every thread and taken by the main thread with
// sigtimedwait.
#include "cli/interrupt_watch.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace {

sigset_t watched;
sigset_t before;
int caught = 0;
StopSignal first = StopSignal::None;

StopSignal StopOf(int signal) {
    switch (signal) {
        case SIGHUP:
            return StopSignal::HangUp;
        case SIGTERM:
            return StopSignal::Terminate;
        default:
            return StopSignal::Interrupt;
    }
}

// Takes one watched signal within `timeout`; false when none came.
bool Take(const timespec& timeout) {
    const int signal = sigtimedwait(&watched, nullptr, &timeout);
    if (signal <= 0) {
        return false;
    }
    ++caught;
    if (first == StopSignal::None) {
        first = StopOf(signal);
    }
    return true;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched, &before);
    caught = 0;
    first = StopSignal::None;
}

InterruptWatch::~InterruptWatch() {
    const timespec now = {0, 0};
    while (Take(now)) {
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

int InterruptWatch::Wait(int milliseconds) {
    const timespec timeout = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    Take(timeout);
    return caught;
}

StopSignal InterruptWatch::First() const {
    return first;
}

// A terminal that goes away takes no time to wait for: the port is closed before the process ends.
void InterruptWatch::WayOutDone() {}
