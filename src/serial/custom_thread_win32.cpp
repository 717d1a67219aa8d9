// Win32 thread creation for CustomThread, through the C runtime so that it initialises per thread.
#include "serial/custom_thread.h"

#include <process.h>
#include <windows.h>

namespace {

struct StartRecord {
    void (*entry)(void*);
    void* argument;
};

unsigned __stdcall Trampoline(void* record) {
    StartRecord start = *static_cast<StartRecord*>(record);
    delete static_cast<StartRecord*>(record);
    start.entry(start.argument);
    return 0;
}

}  // namespace

bool CustomThread::CreatePlatformThread(void (*entry)(void*), void* argument,
                                        std::uintptr_t* handle, uint32_t* id) {
    StartRecord* record = new StartRecord{entry, argument};
    unsigned threadId = 0;
    std::uintptr_t created = _beginthreadex(NULL, 0, &Trampoline, record, 0, &threadId);
    if (created == 0) {
        delete record;
        return false;
    }
    *handle = created;
    *id = threadId;
    return true;
}

void CustomThread::ReleaseNativeHandle(std::uintptr_t handle) {
    if (handle != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}
