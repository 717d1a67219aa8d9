// POSIX thread creation for CustomThread; a detached pthread stands for the released handle.
#include "serial/custom_thread.h"

#include <pthread.h>

#include <atomic>

namespace {

struct StartRecord {
    void (*entry)(void*);
    void* argument;
};

std::atomic<uint32_t> nextThreadId{1};

void* Trampoline(void* record) {
    StartRecord start = *static_cast<StartRecord*>(record);
    delete static_cast<StartRecord*>(record);
    start.entry(start.argument);
    return nullptr;
}

}  // namespace

bool CustomThread::CreateNativeThread(void (*entry)(void*), void* argument, std::uintptr_t* handle,
                                      uint32_t* id) {
    StartRecord* record = new StartRecord{entry, argument};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &Trampoline, record) != 0) {
        delete record;
        return false;
    }
    *handle = static_cast<std::uintptr_t>(thread);
    *id = nextThreadId.fetch_add(1);
    return true;
}

void CustomThread::ReleaseNativeHandle(std::uintptr_t handle) {
    if (handle != 0) {
        pthread_detach(static_cast<pthread_t>(handle));
    }
}
