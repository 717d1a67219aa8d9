// Fuzzes the ELF reader: any file is read or refused without reading past it (headers cut short,
// absurd counts and sizes, offsets that overflow), a refusal keeps no pieces and says where, and
// accepted pieces are segments' file bytes inside the user MAT.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/data_piece.h"
#include "image/elf_reader.h"
#include "image/user_mat.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > 1024 * 1024) {
        return 0;
    }
    const PieceRead read = ReadElf(data, size);
    if (!read.accepted) {
        Check(read.pieces.empty(), "a refusal keeps no pieces");
        Check(StartsWith(read.refusal, "ELF header: ") ||
                  StartsWith(read.refusal, "program headers: ") ||
                  StartsWith(read.refusal, "segment ") ||
                  StartsWith(read.refusal, "no loadable data: "),
              "a refusal says where");
        return 0;
    }
    Check(read.refusal.empty(), "an accepted file has no refusal");
    Check(!read.pieces.empty(), "an accepted file has loadable data");
    Check(static_cast<std::size_t>(read.units) == read.pieces.size(), "a piece a segment");
    std::size_t total = 0;
    for (const DataPiece& piece : read.pieces) {
        Check(!piece.bytes.empty(), "a piece has bytes");
        Check(uint64_t{piece.address} + piece.bytes.size() <= kUserMatBytes,
              "a piece lies inside the user MAT");
        Check(StartsWith(piece.origin, "segment "), "a piece names its segment");
        // Each segment's bytes come from the file; segments may share them, but not by more
        // than the file's size each.
        Check(piece.bytes.size() <= size, "a segment's bytes lie inside the file");
        Check(std::search(data, data + size, piece.bytes.begin(), piece.bytes.end()) != data + size,
              "a segment's bytes are the file's");
        total += piece.bytes.size();
    }
    Check(total > 0, "something to program");
    const std::string overlap = DifferingOverlap(read.pieces);
    Check(overlap.empty() || overlap.find(" and segment ") != std::string::npos,
          "an overlap names both segments");
    return 0;
}
