// The console's Ctrl-C, Ctrl-Break and close events, counted by a handler that Windows runs on a
// thread of its own.
#include "cli/interrupt_watch.h"

#include <windows.h>

namespace {

volatile LONG caught = 0;
HANDLE arrived = NULL;

BOOL WINAPI OnControlEvent(DWORD) {
    InterlockedIncrement(&caught);
    SetEvent(arrived);
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    caught = 0;
    arrived = CreateEventW(NULL, FALSE, FALSE, NULL);
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    CloseHandle(arrived);
    arrived = NULL;
}

int InterruptWatch::Wait(int milliseconds) {
    WaitForSingleObject(arrived, static_cast<DWORD>(milliseconds));
    return static_cast<int>(InterlockedCompareExchange(&caught, 0, 0));
}
