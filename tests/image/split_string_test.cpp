// SplitString and ForEachPiece: where pieces are cut, empty pieces, and delimiter sets.
#include "image/split_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;

struct SplitCase {
    std::string text;
    std::string delimiters;
    Pieces pieces;
};

class SplitStringTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, CutsAtEveryDelimiterCharacter) {
    EXPECT_EQ(GetParam().pieces, SplitString(GetParam().text, GetParam().delimiters));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitStringTest,
    testing::Values(SplitCase{"", "\r\n", {}},
                    SplitCase{"A\r\nB\r\n", "\r\n", {"A", "", "B", "", ""}},
                    SplitCase{"A\nB", "\r\n", {"A", "B"}},
                    SplitCase{"no break", "\r\n", {"no break"}}, SplitCase{"\n", "\r\n", {"", ""}},
                    SplitCase{"\r\r", "\r\n", {"", "", ""}},
                    SplitCase{"a,b;c", ",;", {"a", "b", "c"}},
                    SplitCase{std::string("a\0b", 3), std::string("\0", 1), {"a", "b"}},
                    SplitCase{"a\xFF"
                              "b\x80"
                              "c",
                              "\xFF\x80",
                              {"a", "b", "c"}},
                    SplitCase{"a\r\n", "", {"a\r\n"}}));

TEST(ForEachPieceTest, StopsWhenTheVisitorSaysSo) {
    const std::string text = "one\ntwo\nthree";
    Pieces seen;
    ForEachPiece(text.data(), text.size(), "\n", [&seen](const char* piece, std::size_t length) {
        seen.emplace_back(piece, length);
        return seen.size() < 2;
    });
    EXPECT_EQ((Pieces{"one", "two"}), seen);
}

}  // namespace
