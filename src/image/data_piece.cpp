// The user MAT's bounds for a piece, and the overlap rule over all of a file's pieces.
#include "image/data_piece.h"

#include "image/formatted_text.h"
#include "image/user_mat.h"

std::string OutsideUserMat(uint64_t address, uint64_t length) {
    if (address + length <= kUserMatBytes) {
        return std::string();
    }
    return Formatted("data at 0x%08llX-0x%08llX lies outside the %u-byte user MAT",
                     static_cast<unsigned long long>(address),
                     static_cast<unsigned long long>(address + length - 1),
                     static_cast<unsigned>(kUserMatBytes));
}

std::string DifferingOverlap(const std::vector<DataPiece>& pieces) {
    // Which piece gave each byte first, as its index + 1: one pass over the bytes, however the
    // pieces lie.
    std::vector<uint32_t> owner(kUserMatBytes, 0);
    std::vector<uint8_t> flash(kUserMatBytes, 0);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const DataPiece& piece = pieces[i];
        for (std::size_t k = 0; k < piece.bytes.size(); ++k) {
            const uint64_t address = uint64_t{piece.address} + k;
            if (address >= kUserMatBytes) {
                break;
            }
            const uint32_t earlier = owner[address];
            if (earlier == 0) {
                owner[address] = static_cast<uint32_t>(i + 1);
                flash[address] = piece.bytes[k];
            } else if (flash[address] != piece.bytes[k]) {
                const DataPiece& first = pieces[earlier - 1];
                return Formatted(
                    "%s and %s: overlapping data differs: at 0x%08llX %s gives 0x%02X, "
                    "%s 0x%02X",
                    piece.origin.c_str(), first.origin.c_str(),
                    static_cast<unsigned long long>(address), piece.origin.c_str(), piece.bytes[k],
                    first.origin.c_str(), flash[address]);
            }
        }
    }
    return std::string();
}
