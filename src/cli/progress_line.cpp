// Formatting of the progress lines, and the pace of the plain ones.
#include "cli/progress_line.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

const int kBlockBytes = 128;

std::string Clock(double seconds) {
    const long whole = seconds > 0 ? static_cast<long>(std::lround(seconds)) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// What is left of the phase at the pace it has gone so far.
std::string TimeLeft(const ProgressSnapshot& snapshot) {
    const double perBlock = snapshot.programmingSeconds / snapshot.block;
    return Clock(perBlock * (snapshot.blocks - snapshot.block)) + " left";
}

}  // namespace

std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width) {
    std::string line;
    if (!snapshot.step.empty()) {
        line += snapshot.step + "  ";
    }
    if (snapshot.blocks > 0 && snapshot.block > 0) {
        char counts[96];
        std::snprintf(counts, sizeof counts,
                      snapshot.readBack ? "read back %d/%d blocks (%d/%d bytes)  "
                                        : "blocks %d/%d (%d/%d bytes)  ",
                      snapshot.block, snapshot.blocks, snapshot.block * kBlockBytes,
                      snapshot.blocks * kBlockBytes);
        line += counts;
        line += Clock(snapshot.elapsedSeconds) + " elapsed, " + TimeLeft(snapshot);
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

std::string FormatProgressReport(const ProgressSnapshot& snapshot) {
    char counts[96];
    std::snprintf(counts, sizeof counts, "[%02d] %s%d/%d blocks", snapshot.stepNumber,
                  snapshot.readBack ? "read-back " : "", snapshot.block, snapshot.blocks);
    std::string line = counts;
    if (snapshot.block > 0) {
        line += ", " + TimeLeft(snapshot);
    }
    return line;
}

void ProgressPace::Start(double seconds) {
    running_ = true;
    tenths_ = 0;
    shownAt_ = seconds;
}

bool ProgressPace::Due(int block, int blocks, double seconds) {
    if (!running_ || blocks <= 0) {
        return false;
    }
    const int tenths = static_cast<int>(int64_t{block} * 10 / blocks);
    if (tenths <= tenths_ && seconds - shownAt_ < kReportSeconds) {
        return false;
    }
    tenths_ = tenths;
    shownAt_ = seconds;
    running_ = block < blocks;
    return true;
}
