// The texts that block programming shows: the status line per block and the failure reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "ADDRESS : 0x........ (SKIPPED)   \r" or "(WRITING:128)  \r", the address as four two-digit
// bytes.
std::string BlockStatusText(uint32_t address, bool skipped);

// The error report for a reply to a programming frame that is neither empty nor ACK; empty for a
// reply of two or more bytes that is not an error reply.
std::string BlockFailureText(const std::vector<uint8_t>& reply);
