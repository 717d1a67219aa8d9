// SIGINT and SIGTERM, blocked in every thread and taken by the main thread with sigtimedwait.
#include "cli/interrupt_watch.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cerrno>

namespace {

sigset_t watched;
sigset_t before;
int caught = 0;

}  // namespace

InterruptWatch::InterruptWatch() {
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched, &before);
    caught = 0;
}

InterruptWatch::~InterruptWatch() {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

int InterruptWatch::Wait(int milliseconds) {
    const timespec timeout = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    if (sigtimedwait(&watched, nullptr, &timeout) > 0) {
        ++caught;
    }
    return caught;
}
