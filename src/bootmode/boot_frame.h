// Host-to-MCU frames of the boot program: the SUM rule, command frames and the programming frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bootmode/boot_protocol.h"

// The protocol's multi-byte numbers are big-endian: most significant byte first.
uint32_t ReadBigEndian32(const uint8_t* bytes);
void WriteBigEndian32(uint32_t value, uint8_t* bytes);

// The two's complement of the 8-bit sum of the bytes, so that a frame with it adds up to 0.
uint8_t FrameSum(const uint8_t* bytes, size_t count);

// Command, size byte, data and SUM: the frame of every command that carries data.
std::vector<uint8_t> CommandFrame(uint8_t command, const uint8_t* data, size_t count);

// Fills `frame` with the programming command, the big-endian address, the block and its SUM.
void FillBlockFrame(uint8_t (&frame)[kBlockFrameBytes], uint32_t address, const uint8_t* block);
