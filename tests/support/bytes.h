// The byte strings that the test machinery sends, receives and reads back.
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;
