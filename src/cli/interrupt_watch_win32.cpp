// The console's Ctrl-C, Ctrl-Break, close, logoff and shutdown events, counted by a handler that
// Windows runs on a thread of its own.
#include "cli/interrupt_watch.h"

#include <windows.h>

#include "cli/console_events_win32.h"

namespace {

// Windows ends a process 5 s after the close event at the latest (and after logoff and shutdown
// events sooner or later): the handler lets go a little before that, done or not.
const DWORD kWayOutWaitMilliseconds = 4500;

volatile LONG caught = 0;
volatile LONG first = static_cast<LONG>(StopSignal::None);
// Made by the first watch and kept: a handler may still be on its way out of them when a watch
// ends.
HANDLE arrived = NULL;
HANDLE wayOutDone = NULL;

StopSignal StopOf(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? StopSignal::Interrupt
                                                              : StopSignal::HangUp;
}

}  // namespace

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const StopSignal stop = StopOf(event);
    InterlockedCompareExchange(&first, static_cast<LONG>(stop),
                               static_cast<LONG>(StopSignal::None));
    InterlockedIncrement(&caught);
    SetEvent(arrived);
    if (stop == StopSignal::HangUp) {
        WaitForSingleObject(wayOutDone, kWayOutWaitMilliseconds);
    }
    return TRUE;
}

InterruptWatch::InterruptWatch() {
    if (arrived == NULL) {
        arrived = CreateEventW(NULL, FALSE, FALSE, NULL);
        wayOutDone = CreateEventW(NULL, TRUE, FALSE, NULL);
    }
    ResetEvent(arrived);
    ResetEvent(wayOutDone);
    caught = 0;
    first = static_cast<LONG>(StopSignal::None);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    // Whatever happens after the watch, the port is closed by then.
    SetEvent(wayOutDone);
}

int InterruptWatch::Wait(int milliseconds) {
    WaitForSingleObject(arrived, static_cast<DWORD>(milliseconds));
    return static_cast<int>(InterlockedCompareExchange(&caught, 0, 0));
}

StopSignal InterruptWatch::First() const {
    return static_cast<StopSignal>(InterlockedCompareExchange(&first, 0, 0));
}

void InterruptWatch::WayOutDone() {
    SetEvent(wayOutDone);
}
