// The flash that a firmware file is written into: the H8SX/1520R's user MAT.
#pragma once

#include <cstdint>

// 512 Kbytes of flash from address H'000000 to H'07FFFF. The reader refuses a file whose data lies
// outside it, and the programming step never lays an image larger than it.
constexpr uint32_t kUserMatBytes = 512 * 1024;
