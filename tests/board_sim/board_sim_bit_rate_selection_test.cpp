// The simulated boot program's new-bit-rate rule: which rates it accepts at the host's 20 MHz
// peripheral clock, and the rate its SCI then makes.
#include "board-sim/bit_rate_selection.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The host's parameters: RATE in units of 100 bps, a 5.00 MHz input clock, system clock x8 and
// peripheral clock x4.
board_sim::BitRateSelection Select(int rate) {
    const uint8_t data[] = {static_cast<uint8_t>(rate / 100 >> 8),
                            static_cast<uint8_t>(rate / 100),
                            0x01,
                            0xF4,
                            0x02,
                            0x08,
                            0x04};
    return board_sim::SelectBitRate(data, sizeof data);
}

TEST(BoardSimBitRateSelectionTest, AcceptsRatesWithinFourPercentAtTheRateTheSciMakes) {
    const struct {
        int rate;
        double produced;
    } cases[] = {
        {9600, 20e6 / (32 * 65)},   // +0.16 %
        {38400, 39062.5},           // +1.73 %
        {46300, 20e6 / (32 * 13)},  // +3.84 %: beyond 3 %, still short of 4 %
        {57600, 20e6 / (32 * 11)},  // -1.36 %
        {62500, 62500},             // exact
        {76800, 78125},             // +1.73 %
        {2400, 20e6 / (128 * 65)},  // the divider needs the clock divided by 4
        {100, 20e6 / (2048 * 98)},  // and by 64
    };
    for (const auto& c : cases) {
        const board_sim::BitRateSelection selection = Select(c.rate);
        EXPECT_EQ(selection.error, 0) << c.rate;
        EXPECT_NEAR(selection.lineRate, c.produced, 0.01) << c.rate;
    }
}

TEST(BoardSimBitRateSelectionTest, RefusesRatesAtFourPercentOrMoreWithBitRateError) {
    // +4.17 %, +8.5 %, and faster than the SCI goes at all.
    for (int rate : {100000, 115200, 2000000}) {
        EXPECT_EQ(Select(rate).error, 0x24) << rate;
    }
}

}  // namespace
