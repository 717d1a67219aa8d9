// The UTF-8 that --json writes: well-formed text passes unchanged, every byte of a malformed
// sequence becomes U+FFFD.
#include "cli/valid_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(ValidUtf8Test, KeepsWellFormedText) {
    for (const std::string& text : {std::string(), std::string("ttyUSB0"),
                                    std::string("Gr\xC3\xBC\xC3\x9F"
                                                "e"),
                                    std::string("\xE2\x82\xAC 5"), std::string("\xF0\x9F\x98\x80"),
                                    std::string("\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF")}) {
        EXPECT_EQ(text, ValidUtf8(text));
    }
}

TEST(ValidUtf8Test, ReplacesEachByteThatFitsNoSequence) {
    const struct {
        std::string bytes;
        std::string text;
    } kCases[] = {
        {"fw\xFF.mot", "fw" + kFffd + ".mot"},  // never in UTF-8
        {"\x80"
         "a",
         kFffd + "a"},                       // a stray continuation byte
        {"a\xE2\x82", "a" + kFffd + kFffd},  // cut at the end
        {"\xE2\x82"
         "b",
         kFffd + kFffd + "b"},                                      // cut by a plain byte
        {"\xC0\xAF", kFffd + kFffd},                                // overlong '/'
        {"\xE0\x80\xAF", kFffd + kFffd + kFffd},                    // overlong, three bytes
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},                    // a surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},        // past U+10FFFF
        {"\xC3\xBC\xFE\xC3\xBC", "\xC3\xBC" + kFffd + "\xC3\xBC"},  // between good ones
    };
    for (const auto& entry : kCases) {
        EXPECT_EQ(entry.text, ValidUtf8(entry.bytes));
    }
}

}  // namespace
