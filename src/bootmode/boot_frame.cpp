// Building the boot program's frames and their checksum.
#include "bootmode/boot_frame.h"

#include <cstring>

uint32_t ReadBigEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

void WriteBigEndian32(uint32_t value, uint8_t* bytes) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

uint8_t FrameSum(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    return static_cast<uint8_t>(0x100 - sum);
}

std::vector<uint8_t> CommandFrame(uint8_t command, const uint8_t* data, size_t count) {
    std::vector<uint8_t> frame;
    frame.reserve(count + 3);
    frame.push_back(command);
    frame.push_back(static_cast<uint8_t>(count));
    frame.insert(frame.end(), data, data + count);
    frame.push_back(FrameSum(frame.data(), frame.size()));
    return frame;
}

void FillBlockFrame(uint8_t (&frame)[kBlockFrameBytes], uint32_t address, const uint8_t* block) {
    frame[0] = kProgrammingCommand;
    WriteBigEndian32(address, frame + 1);
    std::memcpy(frame + 5, block, kBlockBytes);
    frame[kBlockFrameBytes - 1] = FrameSum(frame, kBlockFrameBytes - 1);
}
