// The bytes received from the boot program since the buffer was last emptied. The serial reader
// thread appends; the update thread empties and reads; every access is serialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "serial/thread_sync.h"

class ReceiveBuffer {
public:
    void Append(const uint8_t* bytes, size_t count);
    // Length 0; the storage is kept for the next reply.
    void Clear();
    size_t Size() const;
    // A copy of the bytes received so far, in arrival order.
    std::vector<uint8_t> Snapshot() const;
    // `test` applied to the bytes received so far, without copying them.
    bool Test(const std::function<bool(const std::vector<uint8_t>&)>& test) const;

private:
    mutable Mutex lock_;
    std::vector<uint8_t> bytes_;
};
