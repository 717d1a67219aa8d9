// Status and failure texts of block programming, as the operator knows them.
#include "bootmode/block_reports.h"

#include "bootmode/boot_protocol.h"
#include "image/formatted_text.h"

std::string BlockStatusText(uint32_t address, bool skipped) {
    const char* format = skipped ? "ADDRESS : 0x%02X%02X%02X%02X (SKIPPED)   \r"
                                 : "ADDRESS : 0x%02X%02X%02X%02X (WRITING:128)  \r";
    return FormatText(format, (address >> 24) & 0xFF, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                      address & 0xFF);
}

std::string BlockFailureText(const std::vector<uint8_t>& reply) {
    if (reply.size() == 1) {
        return FormatText("ERROR : sending firmware failed by 0x%0X\r\n", reply[0]);
    }
    if (reply.size() < 2 || reply[0] != kProgrammingError) {
        return std::string();
    }
    switch (reply[1]) {
        case kChecksumDetail:
            return "ERROR : Programming stoped by Checksum error.\r\n";
        case kAddressDetail:
            return "ERROR : Programming stopped by address error - address is not in the MAT.\r\n";
        case kWriteDetail:
            return "ERROR : A Programming error has occurred and programming cannot be "
                   "continued.\r\n";
        default:
            return "ERROR : Unknown.\r\n";
    }
}
