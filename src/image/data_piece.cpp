// The user MAT's bounds for a piece, and the overlap rule over all of a file's pieces.
#include "image/data_piece.h"

#include <algorithm>

#include "image/formatted_text.h"
#include "image/user_mat.h"

std::string OutsideUserMat(uint64_t address, uint64_t length) {
    if (address + length <= kUserMatBytes) {
        return std::string();
    }
    return FormatText("data at 0x%08llX-0x%08llX lies outside the %u-byte user MAT",
                      static_cast<unsigned long long>(address),
                      static_cast<unsigned long long>(address + length - 1),
                      static_cast<unsigned>(kUserMatBytes));
}

std::string DifferingOverlap(const std::vector<DataPiece>& pieces) {
    // The stretch that the pieces span, within the user MAT.
    uint64_t low = kUserMatBytes;
    uint64_t high = 0;
    for (const DataPiece& piece : pieces) {
        low = std::min<uint64_t>(low, piece.address);
        high = std::max<uint64_t>(high, uint64_t{piece.address} + piece.bytes.size());
    }
    high = std::min<uint64_t>(high, kUserMatBytes);
    if (high <= low) {
        return std::string();
    }
    // Which piece gave each byte first, as its index + 1: one pass over the bytes, however the
    // pieces lie.
    std::vector<uint32_t> owner(static_cast<std::size_t>(high - low), 0);
    std::vector<uint8_t> flash(owner.size(), 0);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const DataPiece& piece = pieces[i];
        for (std::size_t k = 0; k < piece.bytes.size(); ++k) {
            const uint64_t address = uint64_t{piece.address} + k;
            if (address >= high) {
                break;
            }
            const std::size_t at = static_cast<std::size_t>(address - low);
            const uint32_t earlier = owner[at];
            if (earlier == 0) {
                owner[at] = static_cast<uint32_t>(i + 1);
                flash[at] = piece.bytes[k];
            } else if (flash[at] != piece.bytes[k]) {
                const DataPiece& first = pieces[earlier - 1];
                return FormatText(
                    "%s and %s: overlapping data differs: at 0x%08llX %s gives 0x%02X, "
                    "%s 0x%02X",
                    piece.origin.c_str(), first.origin.c_str(),
                    static_cast<unsigned long long>(address), piece.origin.c_str(), piece.bytes[k],
                    first.origin.c_str(), flash[at]);
            }
        }
    }
    return std::string();
}
