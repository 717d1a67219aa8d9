// Fuzzes the Intel HEX reader: any text is read or refused without reading past it, a refusal
// names a line and keeps no pieces, accepted pieces lie inside the user MAT, and their bytes reach
// the S-record reader as S3 lines and come back out unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/data_piece.h"
#include "image/ihex_reader.h"
#include "image/srec_pieces.h"
#include "image/srec_reader.h"
#include "image/user_mat.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::vector<uint8_t> Joined(const std::vector<DataPiece>& pieces) {
    std::vector<uint8_t> bytes;
    for (const DataPiece& piece : pieces) {
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    }
    return bytes;
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
    if (read.pieces.empty()) {
        return 0;
    }
    SRECReader reader;
    Check(reader.ParseLines(S3Lines(read.pieces)), "the S-record reader takes the pieces");
    Check(HoldsFirmwareData(reader), "the pieces are firmware");
    Check(Joined(reader.DataPieces()) == Joined(read.pieces), "the bytes come back unchanged");
    return 0;
}
