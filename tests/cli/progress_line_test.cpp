// The pace of the plain progress lines where no terminal shows the progress line: a tenth of the
// blocks or ten seconds, whichever comes first, within a phase and not after its last block.
#include "cli/progress_line.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressPace, ALineComesAtEachTenthOrAfterTenSecondsWhicheverIsFirst) {
    const struct {
        int block;
        double seconds;
        bool due;
    } steps[] = {
        {1, 0.1, false},     // the phase has just begun
        {9, 3.0, false},     // not yet a tenth
        {10, 3.1, true},     // the first tenth
        {19, 13.0, false},   // 9.9 s since the last line
        {19, 13.5, true},    // over 10 s since the last line, within the second tenth
        {21, 14.0, true},    // the second tenth, although a line came a second ago
        {45, 16.0, true},    // past two more tenths: one line, not two
        {49, 17.0, false},   // still the fourth tenth
        {100, 30.0, true},   // the last block
        {100, 45.0, false},  // the phase is over: no more lines
    };
    ProgressPace pace;
    pace.Start(0);
    for (const auto& step : steps) {
        EXPECT_EQ(step.due, pace.Due(step.block, 100, step.seconds))
            << step.block << " at " << step.seconds << " s";
    }
}

TEST(ProgressPace, ASlowStartStillGetsALineAfterTenSeconds) {
    ProgressPace pace;
    EXPECT_FALSE(pace.Due(0, 547, 5)) << "before its phase began";
    pace.Start(50);
    EXPECT_FALSE(pace.Due(0, 547, 59.9));
    EXPECT_TRUE(pace.Due(0, 547, 60));
}

TEST(ProgressReport, NamesTheStepThePhaseTheBlocksAndTheTimeLeft) {
    ProgressSnapshot snapshot;
    snapshot.stepNumber = 11;
    snapshot.block = 1024;
    snapshot.blocks = 2048;
    snapshot.programmingSeconds = 21;
    EXPECT_EQ("[11] 1024/2048 blocks, 0:21 left", FormatProgressReport(snapshot));
    snapshot.readBack = true;
    snapshot.block = 0;
    snapshot.blocks = 547;
    EXPECT_EQ("[11] read-back 0/547 blocks", FormatProgressReport(snapshot));
}

}  // namespace
