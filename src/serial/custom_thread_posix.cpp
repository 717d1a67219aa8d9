// POSIX thread creation for CustomThread; a detached pthread stands for the released handle.
#include "serial/custom_thread.h"

#include <pthread.h>

namespace {

struct StartRecord {
    void (*entry)(void*);
    void* argument;
};

void* Trampoline(void* record) {
    StartRecord start = *static_cast<StartRecord*>(record);
    delete static_cast<StartRecord*>(record);
    start.entry(start.argument);
    return nullptr;
}

}  // namespace

bool CustomThread::CreatePlatformThread(void (*entry)(void*), void* argument,
                                        std::uintptr_t* handle, uint32_t* id) {
    StartRecord* record = new StartRecord{entry, argument};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &Trampoline, record) != 0) {
        delete record;
        return false;
    }
    *handle = static_cast<std::uintptr_t>(thread);
    // A pthread has no 32-bit id: the low bits of its handle tell the live threads apart.
    *id = static_cast<uint32_t>(*handle);
    return true;
}

void CustomThread::ReleaseNativeHandle(std::uintptr_t handle) {
    if (handle != 0) {
        pthread_detach(static_cast<pthread_t>(handle));
    }
}
