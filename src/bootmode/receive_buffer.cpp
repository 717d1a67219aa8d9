// The buffer of bytes received from the boot program, shared by two threads.
#include "bootmode/receive_buffer.h"

#include <mutex>

void ReceiveBuffer::Append(const uint8_t* bytes, size_t count) {
    if (bytes == nullptr || count == 0) {
        return;
    }
    std::lock_guard<Mutex> guard(lock_);
    // The vector grows geometrically and keeps its storage across Clear, so the one-byte appends
    // of the reader thread rarely allocate.
    bytes_.insert(bytes_.end(), bytes, bytes + count);
}

void ReceiveBuffer::Clear() {
    std::lock_guard<Mutex> guard(lock_);
    bytes_.clear();
}

size_t ReceiveBuffer::Size() const {
    std::lock_guard<Mutex> guard(lock_);
    return bytes_.size();
}

std::vector<uint8_t> ReceiveBuffer::Snapshot() const {
    std::lock_guard<Mutex> guard(lock_);
    return bytes_;
}

bool ReceiveBuffer::Test(const std::function<bool(const std::vector<uint8_t>&)>& test) const {
    std::lock_guard<Mutex> guard(lock_);
    return test(bytes_);
}
