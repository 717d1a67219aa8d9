// S-records from pieces.
#include "image/srec_pieces.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "image/formatted_text.h"

namespace {

// As srec_cat and objcopy write S3 lines by default.
const std::size_t kLineDataBytes = 32;
// An S3 line's count covers its 4 address bytes and its checksum besides the data.
const unsigned kS3Overhead = 5;

}  // namespace

std::vector<std::string> S3Lines(const std::vector<DataPiece>& pieces) {
    std::vector<std::string> lines;
    for (const DataPiece& piece : pieces) {
        for (std::size_t start = 0; start < piece.bytes.size(); start += kLineDataBytes) {
            const std::size_t length = std::min(kLineDataBytes, piece.bytes.size() - start);
            const uint32_t address = piece.address + static_cast<uint32_t>(start);
            const unsigned count = static_cast<unsigned>(length) + kS3Overhead;
            unsigned sum = count;
            std::string line = FormatText("S3%02X%08X", count, address);
            for (int shift = 0; shift < 32; shift += 8) {
                sum += address >> shift & 0xFF;
            }
            for (std::size_t k = 0; k < length; ++k) {
                const uint8_t byte = piece.bytes[start + k];
                char digits[3];
                std::snprintf(digits, sizeof(digits), "%02X", byte);
                line += digits;
                sum += byte;
            }
            line += FormatText("%02X", ~sum & 0xFF);
            lines.push_back(line);
        }
    }
    return lines;
}
