// Text helpers: round trips, and results that outlive calls of the other helper and other threads.
#include "serial/text_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "serial/custom_thread.h"

namespace {

TEST(TextConversionTest, ConvertsPlainTextBothWays) {
    EXPECT_STREQ("COM3", WideToAnsi(L"COM3"));
    EXPECT_STREQ(L"Parsing SRECORD ...", AnsiToWide("Parsing SRECORD ..."));
    EXPECT_STREQ("", WideToAnsi(L""));
    EXPECT_STREQ(L"", AnsiToWide(""));
    EXPECT_STREQ("", WideToAnsi(nullptr));
    EXPECT_STREQ(L"", AnsiToWide(nullptr));
}

TEST(TextConversionTest, RoundTripsLatinLettersOfTheCodePage) {
    const wchar_t* original = L"Gr\u00fc\u00dfe \u00e9t\u00e9";
    std::string ansi = WideToAnsi(original);
    EXPECT_STREQ(original, AnsiToWide(ansi.c_str()));
}

TEST(TextConversionTest, ResultSurvivesACallOfTheOtherHelper) {
    const char* ansi = WideToAnsi(L"first");
    const wchar_t* wide = AnsiToWide("second");
    EXPECT_STREQ("first", ansi);
    EXPECT_STREQ(L"second", wide);
}

class ConvertingThread : public CustomThread {
public:
    void Run(int32_t) override {
        for (int i = 0; i < 100; ++i) {
            WideToAnsi(L"from the other thread, overwritten many times");
            AnsiToWide("from the other thread, overwritten many times");
        }
        lastAnsi = WideToAnsi(L"other");
    }
    std::string lastAnsi;
};

TEST(TextConversionTest, ResultSurvivesCallsFromAnotherThread) {
    const char* ansi = WideToAnsi(L"main thread text");
    const wchar_t* wide = AnsiToWide("main thread wide");
    ConvertingThread thread;
    ASSERT_TRUE(thread.Start(0));
    thread.WaitUntilFinished();
    EXPECT_STREQ("main thread text", ansi);
    EXPECT_STREQ(L"main thread wide", wide);
    EXPECT_EQ("other", thread.lastAnsi);
}

}  // namespace
