// Text helpers: round trips, and results that outlive calls of the other helper and other threads.
#include "serial/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "serial/custom_thread.h"

namespace {

TEST(TextConversionTest, ConvertsPlainTextBothWays) {
    EXPECT_EQ("COM3", WideToAnsi(L"COM3"));
    EXPECT_EQ(L"Parsing SRECORD ...", AnsiToWide("Parsing SRECORD ..."));
    EXPECT_EQ("", WideToAnsi(L""));
    EXPECT_EQ(L"", AnsiToWide(""));
    EXPECT_EQ("", WideToAnsi(nullptr));
    EXPECT_EQ(L"", AnsiToWide(nullptr));
}

TEST(TextConversionTest, RoundTripsLatinLettersOfTheCodePage) {
    const wchar_t* original = L"Gr\u00fc\u00dfe \u00e9t\u00e9";
    std::string ansi = WideToAnsi(original);
    EXPECT_EQ(original, AnsiToWide(ansi.c_str()));
}

TEST(TextConversionTest, ResultSurvivesACallOfTheOtherHelper) {
    const std::string ansi = WideToAnsi(L"first");
    const std::wstring wide = AnsiToWide("second");
    EXPECT_EQ("first", ansi);
    EXPECT_EQ(L"second", wide);
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
    const std::string ansi = WideToAnsi(L"main thread text");
    const std::wstring wide = AnsiToWide("main thread wide");
    ConvertingThread thread;
    ASSERT_TRUE(thread.Start(0));
    thread.WaitUntilFinished();
    EXPECT_EQ("main thread text", ansi);
    EXPECT_EQ(L"main thread wide", wide);
    EXPECT_EQ("other", thread.lastAnsi);
}

}  // namespace
