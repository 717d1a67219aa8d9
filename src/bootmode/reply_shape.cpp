// Completeness of the boot program's replies, from their first bytes.
#include "bootmode/reply_shape.h"

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "image/formatted_text.h"

namespace {

// Error replies carry the command (or reply code) with its top bit set, then a detail byte.
const uint8_t kErrorBit = 0x80;
const size_t kErrorReplyBytes = 2;

bool IsError(const std::vector<uint8_t>& reply) {
    return (reply[0] & kErrorBit) != 0;
}

// Every byte of a reply, SUM included, adds up to 0 modulo 256.
bool SumsToZero(const std::vector<uint8_t>& reply, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + reply[i]);
    }
    return sum == 0;
}

std::string ErrorReplyText(const std::vector<uint8_t>& reply) {
    return FormatText("the error reply 0x%02X 0x%02X", reply[0], reply[1]);
}

}  // namespace

bool ReplyComplete(ReplyShape shape, const std::vector<uint8_t>& reply) {
    if (reply.empty()) {
        return false;
    }
    switch (shape) {
        case ReplyShape::Byte:
            return true;
        case ReplyShape::Ack:
            return reply[0] == kAck || reply.size() >= kErrorReplyBytes;
        case ReplyShape::Inquiry:
            if (IsError(reply)) {
                return reply.size() >= kErrorReplyBytes;
            }
            // Code and size, the data the size counts, then SUM.
            return reply.size() >= 2 && reply.size() >= 3u + reply[1];
        case ReplyShape::MemoryRead: {
            if (IsError(reply)) {
                return reply.size() >= kErrorReplyBytes;
            }
            if (reply.size() < 1 + kReadSizeBytes) {
                return false;
            }
            const uint64_t size = ReadBigEndian32(reply.data() + 1);
            return reply.size() >= 1 + kReadSizeBytes + size + 1;
        }
    }
    return false;
}

std::string InquiryReplyProblem(const std::vector<uint8_t>& reply, uint8_t code) {
    if (reply.empty()) {
        return "no reply";
    }
    if (IsError(reply) && reply.size() >= kErrorReplyBytes) {
        return ErrorReplyText(reply);
    }
    if (reply[0] != code) {
        return FormatText("the reply 0x%02X instead of 0x%02X", reply[0], code);
    }
    if (!ReplyComplete(ReplyShape::Inquiry, reply)) {
        return "a reply shorter than its size byte says";
    }
    if (!SumsToZero(reply, 3u + reply[1])) {
        return "a reply with a wrong SUM";
    }
    return std::string();
}

std::string MemoryReadProblem(const std::vector<uint8_t>& reply, uint32_t size) {
    if (reply.empty()) {
        return "no reply";
    }
    if (reply[0] == kMemoryReadError && reply.size() >= kErrorReplyBytes) {
        switch (reply[1]) {
            case kChecksumDetail:
                return "the error reply 0xD2 0x11: the read frame's SUM";
            case kAddressDetail:
                return "the error reply 0xD2 0x2A: the address is not in the user MAT";
            case kSizeDetail:
                return "the error reply 0xD2 0x2B: the read size";
            default:
                return ErrorReplyText(reply);
        }
    }
    if (reply[0] != kMemoryRead) {
        return FormatText("the reply 0x%02X instead of 0x%02X", reply[0], kMemoryRead);
    }
    if (!ReplyComplete(ReplyShape::MemoryRead, reply)) {
        return "a reply shorter than its read size says";
    }
    const uint32_t announced = ReadBigEndian32(reply.data() + 1);
    if (announced != size) {
        return FormatText("a reply of %u bytes instead of %u", announced, size);
    }
    if (!SumsToZero(reply, 1 + kReadSizeBytes + size + 1)) {
        return "a reply with a wrong SUM";
    }
    return std::string();
}
