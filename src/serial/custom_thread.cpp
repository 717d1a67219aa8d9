// Thread base: start-up hand-over and end-of-body bookkeeping shared by both platforms.
#include "serial/custom_thread.h"

CustomThread::CustomThread() : threadId_(0), threadHandle_(0), startParam_(0), started_(false) {}

CustomThread::~CustomThread() = default;

void CustomThread::PreRun() {}

bool CustomThread::Start(int32_t param) {
    startParam_ = param;
    std::uintptr_t handle = 0;
    if (!CreatePlatformThread(&CustomThread::ThreadEntry, this, &handle, &threadId_) ||
        handle == 0) {
        return false;
    }
    started_ = true;
    threadHandle_.store(handle);
    handleRecorded_.Set();
    return true;
}

void CustomThread::ThreadEntry(void* object) {
    CustomThread* self = static_cast<CustomThread*>(object);
    if (self == nullptr) {
        return;
    }
    self->PreRun();
    self->Run(self->startParam_);
    self->handleRecorded_.Wait(-1);
    ReleaseNativeHandle(self->threadHandle_.exchange(0));
    // The owner may destroy the object as soon as this is set: nothing touches it afterwards.
    self->finished_.Set();
}

void CustomThread::WaitUntilFinished() {
    if (started_) {
        finished_.Wait(-1);
    }
}

bool CustomThread::IsFinished() {
    return !started_ || finished_.Wait(0);
}
