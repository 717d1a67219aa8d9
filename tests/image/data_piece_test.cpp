// The overlap rule over data pieces.
#include "image/data_piece.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
