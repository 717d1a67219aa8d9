// POSIX locks, events and sleeps for the native build.
#include "serial/thread_sync.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct Mutex::Native {
    std::mutex mutex;
};

Mutex::Mutex() : native_(new Native) {}

Mutex::~Mutex() = default;

void Mutex::lock() {
    native_->mutex.lock();
}

void Mutex::unlock() {
    native_->mutex.unlock();
}

struct Event::Native {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
};

Event::Event() : native_(new Native) {}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard<std::mutex> guard(native_->mutex);
    native_->set = true;
    native_->changed.notify_all();
}

void Event::Reset() {
    std::lock_guard<std::mutex> guard(native_->mutex);
    native_->set = false;
}

bool Event::Wait(int timeoutMilliseconds) {
    std::unique_lock<std::mutex> lock(native_->mutex);
    auto isSet = [this] { return native_->set; };
    if (timeoutMilliseconds < 0) {
        native_->changed.wait(lock, isSet);
        return true;
    }
    return native_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), isSet);
}

void SleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
