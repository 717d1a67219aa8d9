// Base class for work that runs on a thread of its own: Start(param) runs PreRun() and Run(param).
#pragma once

#include <atomic>
#include <cstdint>

#include "serial/thread_sync.h"

class CustomThread {
public:
    CustomThread();
    virtual ~CustomThread();
    CustomThread(const CustomThread&) = delete;
    CustomThread& operator=(const CustomThread&) = delete;

    // Called once per object. True when a thread was created; then PreRun and Run follow on it.
    bool Start(int32_t param);
    virtual void PreRun();
    virtual void Run(int32_t param) = 0;

    // The owner's wait for the end of the body. It never touches the thread handle, which the
    // thread releases itself, so it is safe however early the body returns; without a started
    // thread it returns at once.
    void WaitUntilFinished();
    // The same end without waiting: true once the owner may destroy the object (the body has
    // returned and the thread let go of it), and when no thread was started.
    bool IsFinished();

    // True from a successful Start until the body has returned and the thread released its handle.
    bool HasThreadHandle() const { return threadHandle_.load() != 0; }
    uint32_t GetThreadId() const { return threadId_; }

protected:
    // Creates a platform thread running entry(argument), storing its handle and id. Overridden by
    // tests that reach the failure path.
    virtual bool CreatePlatformThread(void (*entry)(void*), void* argument, std::uintptr_t* handle,
                                      uint32_t* id);

private:
    static void ThreadEntry(void* object);
    static void ReleaseNativeHandle(std::uintptr_t handle);

    uint32_t threadId_;
    std::atomic<std::uintptr_t> threadHandle_;
    int32_t startParam_;
    bool started_;          // owner only: Start created a thread
    Event handleRecorded_;  // keeps a short body from releasing its handle before Start records it
    Event finished_;        // set by the thread after it released its handle
};
