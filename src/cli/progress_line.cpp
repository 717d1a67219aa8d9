// Formatting of the terminal's progress line.
#include "cli/progress_line.h"

#include <cmath>
#include <cstdio>

namespace {

const int kBlockBytes = 128;

std::string Clock(double seconds) {
    const long whole = seconds > 0 ? static_cast<long>(std::lround(seconds)) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width) {
    std::string line;
    if (!snapshot.step.empty()) {
        line += snapshot.step + "  ";
    }
    if (snapshot.blocks > 0 && snapshot.block > 0) {
        char counts[96];
        std::snprintf(counts, sizeof counts, "blocks %d/%d (%d/%d bytes)  ", snapshot.block,
                      snapshot.blocks, snapshot.block * kBlockBytes, snapshot.blocks * kBlockBytes);
        line += counts;
        line += Clock(snapshot.elapsedSeconds) + " elapsed, ";
        const double perBlock = snapshot.programmingSeconds / snapshot.block;
        line += Clock(perBlock * (snapshot.blocks - snapshot.block)) + " left";
    } else {
        line += Clock(snapshot.elapsedSeconds) + " elapsed";
    }
    if (!snapshot.status.empty()) {
        line += "  " + snapshot.status;
    }
    if (line.size() > width) {
        line.resize(width);
    }
    return line;
}
