// When a boot program's reply is complete: what a reply-paced transaction waits for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ReplyShape {
    Byte,       // any one byte: the echo of a matching byte, the answer to the handshake
    Ack,        // ACK; or two bytes, an error code and its detail
    Inquiry,    // reply code, size n, n bytes, SUM; or an error code (top bit set) and its detail
    MemoryRead  // 0x52, a 4-byte size n, n bytes, SUM; or an error code and its detail
};

// True once `reply` holds every byte the shape announces. A longer reply is complete as well; a
// reply that never completes is judged by the caller when its time runs out.
bool ReplyComplete(ReplyShape shape, const std::vector<uint8_t>& reply);

// What is wrong with a reply that must be an inquiry reply with `code` (code, size, data, SUM):
// empty when nothing is, else a short text ("no reply", "a wrong SUM", ...).
std::string InquiryReplyProblem(const std::vector<uint8_t>& reply, uint8_t code);
// The same for the memory read's reply of `size` data bytes (0x52, 4-byte size, data, SUM).
std::string MemoryReadProblem(const std::vector<uint8_t>& reply, uint32_t size);
