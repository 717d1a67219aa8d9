// The answer to the operator's stops: the first ends the runs, a later one also ends the ways
// out's waits, and two that come between two looks count as two.
#include "cli/stop_actions.h"

#include <gtest/gtest.h>

namespace {

TEST(StopActionsTest, EachStopIsAnsweredOnceInTurn) {
    const struct {
        int handled;
        int caught;
        bool interrupt;
        bool abort;
    } kCases[] = {
        {0, 0, false, false}, {0, 1, true, false}, {1, 1, false, false},
        {1, 2, false, true},  {2, 3, false, true}, {0, 2, true, true},
    };
    for (const auto& entry : kCases) {
        const StopActions actions = ActionsFor(entry.handled, entry.caught);
        EXPECT_EQ(entry.interrupt, actions.interrupt) << entry.handled << " of " << entry.caught;
        EXPECT_EQ(entry.abort, actions.abort) << entry.handled << " of " << entry.caught;
    }
}

}  // namespace
