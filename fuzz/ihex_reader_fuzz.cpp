// Fuzzes the Intel HEX reader: any text is read or refused without reading past it, a refusal
// names a line and keeps no pieces, accepted pieces lie inside the user MAT, and the image they
// lay holds their bytes at their addresses in whole blocks.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "image/data_piece.h"
#include "image/ihex_reader.h"
#include "image/user_mat.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Every piece's bytes at its address in the image: where pieces overlap they agree, so the order
// of laying does not matter.
bool HoldsEveryPiece(const FirmwareImage& image, const std::vector<DataPiece>& pieces) {
    for (const DataPiece& piece : pieces) {
        for (std::size_t k = 0; k < piece.bytes.size(); ++k) {
            if (image.bytes[piece.address + k] != piece.bytes[k]) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > 1024 * 1024) {
        return 0;
    }
    const PieceRead read = ReadIntelHex(reinterpret_cast<const char*>(data), size);
    if (!read.accepted) {
        Check(read.pieces.empty(), "a refusal keeps no pieces");
        Check(read.refusal.compare(0, 5, "line ") == 0, "a refusal names its line");
        Check(read.refusal.find(": ") != std::string::npos, "a refusal says why");
        return 0;
    }
    Check(read.refusal.empty(), "an accepted text has no refusal");
    Check(static_cast<std::size_t>(read.units) >= read.pieces.size(), "a piece is a record");
    for (const DataPiece& piece : read.pieces) {
        Check(!piece.bytes.empty() && piece.bytes.size() <= 0xFF, "a piece is one record's data");
        Check(uint64_t{piece.address} + piece.bytes.size() <= kUserMatBytes,
              "a piece lies inside the user MAT");
        Check(piece.origin.compare(0, 5, "line ") == 0, "a piece names its line");
    }
    const std::string overlap = DifferingOverlap(read.pieces);
    Check(overlap.empty() || overlap.find(" and line ") != std::string::npos,
          "an overlap names both lines");
    if (read.pieces.empty() || !overlap.empty()) {
        return 0;
    }
    const FirmwareImage image = LayFirmwareImage(read.pieces);
    Check(image.outcome == ImageOutcome::Built, "the pieces lay an image");
    Check(image.bytes.size() % kBlockBytes == 0, "the image is whole blocks");
    uint64_t end = 0;
    for (const DataPiece& piece : read.pieces) {
        end = std::max<uint64_t>(end, piece.address + piece.bytes.size());
    }
    Check(image.bytes.size() >= end + kS3LineTailBytes &&
              image.bytes.size() < end + kS3LineTailBytes + kBlockBytes,
          "the image reaches 5 bytes past the data, in whole blocks");
    Check(HoldsEveryPiece(image, read.pieces), "the image holds every piece's bytes");
    return 0;
}
