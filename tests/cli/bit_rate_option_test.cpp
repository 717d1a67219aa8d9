// --bps against the board's rule: the rates its boot program takes pass, the others are refused
// with the rule's own numbers before any port is opened.
#include "cli/bit_rate_option.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bootmode/bit_rate_rule.h"

namespace {

TEST(BitRateOptionTest, TakesTheRatesTheBoardAccepts) {
    for (const int rate :
         {9600, 38400, 57600, 62500, 76800, 125000, 156300, 208300, 312500, 625000}) {
        const BitRateChoice choice = ChooseBitRates(std::to_string(rate));
        EXPECT_EQ(choice.rates, std::vector<int>{rate}) << rate << ": " << choice.problem;
        EXPECT_EQ(choice.problem, "") << rate;
    }
}

TEST(BitRateOptionTest, MaxTriesFromTheSciLimitDownFastestFirst) {
    EXPECT_EQ(ChooseBitRates("max").rates,
              (std::vector<int>{625000, 312500, 156300, 125000, 76800, 62500, 57600, 38400}));
}

TEST(BitRateOptionTest, RefusesWhatTheBoardOrTheHostCannotUse) {
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"115200",
         "--bps 115200: the board's serial interface makes 125000 bps of it, +8.51 % off, and its "
         "boot program refuses 4 % or more; the nearest rates that work are 108500 and 120200"},
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

// The rates a refusal names, in the order it names them.
std::vector<int> NamedRates(const std::string& problem) {
    std::vector<int> rates;
    const std::string marker = "the nearest rate";
    const size_t start = problem.find(marker);
    if (start == std::string::npos) {
        return rates;
    }
    const char* text = problem.c_str() + start;
    while (*text != '\0') {
        char* end = nullptr;
        const long rate = std::strtol(text, &end, 10);
        if (end != text) {
            rates.push_back(static_cast<int>(rate));
            text = end;
        } else {
            ++text;
        }
    }
    return rates;
}

bool Accepted(int rate) {
    return !ChooseBitRates(std::to_string(rate)).rates.empty();
}

// Advice that works: every rate a refusal or a failure suggests is one --bps takes, and the
// rates a refusal calls the nearest are: none that --bps takes lies between them and the rate.
TEST(BitRateOptionTest, SuggestsOnlyTheNearestRatesItTakes) {
    for (const int asked : {31250, 100000, 115200, 76850, 230400, 460800, 700000, 2000000}) {
        const BitRateChoice choice = ChooseBitRates(std::to_string(asked));
        ASSERT_TRUE(choice.rates.empty()) << asked;
        const std::vector<int> named = NamedRates(choice.problem);
        ASSERT_FALSE(named.empty()) << asked << ": " << choice.problem;
        for (const int rate : named) {
            EXPECT_TRUE(Accepted(rate)) << asked << " suggests " << rate;
            const int low = rate < asked ? rate : asked;
            const int high = rate < asked ? asked : rate;
            for (int between = (low / 100 + 1) * 100; between < high; between += 100) {
                EXPECT_FALSE(Accepted(between))
                    << asked << " suggests " << rate << ", but " << between << " is nearer";
            }
        }
    }
    for (const int failed : {625000, 76800, 57600, 38400, 19200}) {
        const int lower = LowerRateToTry(failed);
        EXPECT_TRUE(lower < failed && Accepted(lower)) << failed << " suggests " << lower;
    }
    EXPECT_EQ(LowerRateToTry(9600), 0);
}

}  // namespace
