// Win32 locks, events and sleeps (XP has neither SRW locks nor condition variables).
#include "serial/thread_sync.h"

#include <windows.h>

struct Mutex::Native {
    CRITICAL_SECTION section;
};

Mutex::Mutex() : native_(new Native) {
    InitializeCriticalSection(&native_->section);
}

Mutex::~Mutex() {
    DeleteCriticalSection(&native_->section);
}

void Mutex::lock() {
    EnterCriticalSection(&native_->section);
}

void Mutex::unlock() {
    LeaveCriticalSection(&native_->section);
}

struct Event::Native {
    HANDLE handle;
};

Event::Event() : native_(new Native) {
    native_->handle = CreateEventW(NULL, TRUE, FALSE, NULL);
}

Event::~Event() {
    CloseHandle(native_->handle);
}

void Event::Set() {
    SetEvent(native_->handle);
}

void Event::Reset() {
    ResetEvent(native_->handle);
}

bool Event::Wait(int timeoutMilliseconds) {
    DWORD timeout = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
    return WaitForSingleObject(native_->handle, timeout) == WAIT_OBJECT_0;
}

void SleepMilliseconds(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}
