// velmora-cli's --bps: the programming bit rates a run tries, checked against the board's rule
// before any port is opened.
#pragma once

#include <string>
#include <vector>

struct BitRateChoice {
    std::vector<int> rates;  // tried in turn, fastest first; empty when refused
    std::string problem;     // why the text was refused, for the usage line
};

// "max": the fastest rates the board takes, each a fallback for the one before; a number: that
// rate alone, when the board's boot program would take it.
BitRateChoice ChooseBitRates(const std::string& text);
