// The overlap rule over data pieces, and pieces carried through S3 lines into the S-record reader
// and back out of it with their lines.
#include "image/data_piece.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/srec_pieces.h"
#include "image/srec_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct OverlapCase {
    std::string name;
    std::vector<DataPiece> pieces;
    std::string refusal;  // empty: accepted
};

class OverlapTest : public testing::TestWithParam<OverlapCase> {};

TEST_P(OverlapTest, RefusesOnlyOverlapsThatDiffer) {
    const OverlapCase& c = GetParam();
    EXPECT_EQ(c.refusal, DifferingOverlap(c.pieces)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, OverlapTest,
    testing::Values(
        OverlapCase{"apart", {{0x10, {1, 2}, "line 1"}, {0x12, {3}, "line 2"}}, ""},
        OverlapCase{
            "the same bytes twice", {{0x10, {1, 2, 3}, "line 1"}, {0x11, {2, 3, 4}, "line 2"}}, ""},
        // Named by the later piece first, at the first byte that differs.
        OverlapCase{
            "a differing byte",
            {{0x100, {1, 2, 3, 4}, "line 3"}, {0x0, {9}, "line 5"}, {0x102, {3, 5}, "line 7"}},
            "line 7 and line 3: overlapping data differs: at 0x00000103 line 7 gives "
            "0x05, line 3 0x04"},
        OverlapCase{"a piece inside another, out of address order",
                    {{0x7FFF0, {0}, "segment 1"}, {0x7FF00, Bytes(0x100, 0xAA), "segment 2"}},
                    "segment 2 and segment 1: overlapping data differs: at 0x0007FFF0 segment 2 "
                    "gives 0xAA, segment 1 0x00"}));

TEST(SrecPiecesTest, PiecesReachTheReaderAsS3RecordsWithTheirBytes) {
    Bytes large(70);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<uint8_t>(i * 7);
    }
    const std::vector<DataPiece> pieces = {{0x7FFBA, large, "segment 0"},
                                           {0x20, {0xFF, 0x00}, "segment 1"}};
    const std::vector<std::string> lines = S3Lines(pieces);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("S3250007FFBA", lines[0].substr(0, 12));
    SRECReader reader;
    ASSERT_TRUE(reader.ParseLines(lines)) << reader.GetRefusal();
    // The reader's own view of them, which the image and the run read.
    const std::vector<DataPiece> back = reader.DataPieces();
    ASSERT_EQ(4u, back.size());
    Bytes joined;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0x7FFBAu + 32u * static_cast<unsigned>(i), back[i].address);
        joined.insert(joined.end(), back[i].bytes.begin(), back[i].bytes.end());
    }
    EXPECT_EQ(large, joined);
    EXPECT_EQ(0x20u, back[3].address);
    EXPECT_EQ((Bytes{0xFF, 0x00}), back[3].bytes);
    EXPECT_EQ("line 4", back[3].origin);
}

}  // namespace
