// --bps against the board's rule: the rates its boot program takes pass, the others are refused
// with the rule's own numbers before any port is opened.
#include "cli/bit_rate_option.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(BitRateOptionTest, TakesTheRatesTheBoardAccepts) {
    for (const int rate : {9600, 38400, 57600, 62500, 76800, 125000}) {
        const BitRateChoice choice = ChooseBitRates(std::to_string(rate));
        EXPECT_EQ(choice.rates, std::vector<int>{rate}) << rate << ": " << choice.problem;
        EXPECT_EQ(choice.problem, "") << rate;
    }
}

TEST(BitRateOptionTest, MaxTriesTheFastFourFastestFirst) {
    EXPECT_EQ(ChooseBitRates("max").rates, (std::vector<int>{76800, 62500, 57600, 38400}));
}

TEST(BitRateOptionTest, RefusesWhatTheBoardOrTheHostCannotUse) {
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"115200",
         "--bps 115200: the board's serial interface makes 125000 bps of it, +8.51 % off, and its "
         "boot program refuses 4 % or more; the nearest rates that work are 76800 and 125000"},
        {"100000", "makes 104167 bps of it, +4.17 % off"},
        {"76850", "in steps of 100 bps"},
        {"4800", "below 9600 bps a block outlasts its 200 ms wait"},
        {"2000000", "faster than the board's serial interface can run"},
        {"", "not a bit rate"},
        {"fast", "not a bit rate"},
        {"-38400", "not a bit rate"},
        {"38400x", "not a bit rate"},
        {"99999999999999999999", "not a bit rate"},
    };
    for (const auto& each : cases) {
        const BitRateChoice choice = ChooseBitRates(each.text);
        EXPECT_TRUE(choice.rates.empty()) << each.text;
        EXPECT_NE(choice.problem.find(each.problem), std::string::npos)
            << each.text << ": " << choice.problem;
    }
}

}  // namespace
