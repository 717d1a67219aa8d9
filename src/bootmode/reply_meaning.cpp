// The boot program's commands, error codes and replies in words.
#include "bootmode/reply_meaning.h"

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "image/formatted_text.h"

namespace {

// Reply bytes shown in a line; a longer reply is cut with "...".
const size_t kShownReplyBytes = 8;
// An error reply is the command with its top bit set, then the error code.
const uint8_t kErrorBit = 0x80;

// What was sent, in words: the command, or for a programming frame the block's address.
std::string SentName(const std::vector<uint8_t>& sent) {
    if (sent.size() == kBlockFrameBytes && sent[0] == kProgrammingCommand) {
        return FormatText("the block at 0x%08X", ReadBigEndian32(sent.data() + 1));
    }
    return CommandName(sent[0]);
}

}  // namespace

const char* CommandName(uint8_t command) {
    switch (command) {
        case kMatchingByte:
            return "bit-rate matching (0x00)";
        case kHandshake:
            return "handshake (0x55)";
        case kDeviceInquiry:
            return "supported device inquiry (0x20)";
        case kProgrammingUnitInquiry:
            return "programming mode inquiry (0x27)";
        case kDeviceSelection:
            return "device selection (0x10)";
        case kClockModeSelection:
            return "clock mode selection (0x11)";
        case kNewBitRateSelection:
            return "new bit rate selection (0x3F)";
        case kBitRateConfirmation:
            return "bit-rate confirmation (0x06)";
        case kProgrammingTransition:
            return "programming/erasing state transition (0x40)";
        case kStatusInquiry:
            return "boot program status inquiry (0x4F)";
        case kUserMatSelection:
            return "user MAT programming selection (0x43)";
        case kProgrammingCommand:
            return "128-byte programming (0x50)";
        case kUserMatInquiry:
            return "user MAT information inquiry (0x25)";
        case kSumCheck:
            return "user MAT sum check (0x4B)";
        case kMemoryRead:
            return "memory read (0x52)";
        default:
            return "an unknown command";
    }
}

// The error codes as the boot program documents them; four of them the host also tells apart.
const char* ErrorMeaning(uint8_t code) {
    switch (code) {
        case kChecksumDetail:
            return "checksum error";
        case 0x21:
            return "device code error";
        case 0x22:
            return "clock mode error";
        case 0x24:
            return "bit-rate selection error";
        case 0x25:
            return "input frequency error";
        case 0x26:
            return "multiplication ratio error";
        case 0x27:
            return "operating frequency error";
        case 0x29:
            return "block number error";
        case kAddressDetail:
            return "address error";
        case kSizeDetail:
            return "data length error";
        case 0x51:
            return "erasure error";
        case 0x52:
            return "erasure incomplete error";
        case kWriteDetail:
            return "programming error";
        case 0x54:
            return "selection processing error";
        case 0x80:
            return "command error";
        case 0xFF:
            return "bit-rate matching confirmation error";
        default:
            return nullptr;
    }
}

std::string ByteList(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < kShownReplyBytes; ++i) {
        text += (i == 0 ? "" : " ") + FormatText("0x%02X", bytes[i]);
    }
    return bytes.size() > kShownReplyBytes ? text + " ..." : text;
}

std::string AnswerText(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& reply) {
    if (sent.empty()) {
        return "nothing was sent to the board";
    }
    const std::string name = SentName(sent);
    if (reply.empty()) {
        return "no answer to " + name;
    }
    if (reply.size() >= 2 && reply[0] == (sent[0] | kErrorBit)) {
        const char* meaning = ErrorMeaning(reply[1]);
        return name + " was answered " + ByteList({reply[0], reply[1]}) + ": " +
               (meaning != nullptr ? meaning : "an error the boot program does not document");
    }
    return name + " was answered " + ByteList(reply);
}
