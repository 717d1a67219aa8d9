// SHA-256 of a firmware file's bytes, for the record of the board it went into.
#pragma once

#include <cstddef>
#include <string>

// The digest of `size` bytes at `data`, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* data, size_t size);
