// A station's probe against the simulated board in process: it finds a board in boot mode, also
// one that was just programmed, hears nothing from a missing one, says nothing either way, and
// leaves the board to a run that starts from its own reset.
#include <gtest/gtest.h>

#include "board_session.h"
#include "image/srec_reader.h"

namespace {

bool Quiet() {
    return g_reports.errors.empty() && g_reports.log.empty() && g_reports.status.empty();
}

}  // namespace

TEST(ProbeSession, FindsABoardBeforeAndAfterItsRunAndSaysNothing) {
    BoardSession session({});
    ASSERT_TRUE(session.board.ready());
    EXPECT_EQ(session.module.Probe(session.board.PortName().c_str()), BoardPresence::Answered);
    EXPECT_TRUE(Quiet());

    SRECReader reader;
    ASSERT_TRUE(reader.Parse(ReadSample("two-blocks-s1.mot")));
    ASSERT_TRUE(ReachProgramming(session.module, session.board.PortName()));
    ASSERT_TRUE(session.module.ProgrammingSequence(&reader));
    ASSERT_TRUE(session.module.Reboot());
    // The run after the probe began with the reset of boot-mode entry, not in the probe's state.
    EXPECT_GE(session.board.Count("reset", "boot-program"), 2);
    ASSERT_EQ(session.board.Count("reboot", "new-firmware"), 1);

    // Left in the fixture, the board now runs its new firmware; the probe's reset finds it again.
    g_reports.Reset();
    EXPECT_EQ(session.module.Probe(session.board.PortName().c_str()), BoardPresence::Answered);
    EXPECT_TRUE(Quiet());
}

TEST(ProbeSession, HearsNothingFromAMissingBoardAndTellsAMissingPortApart) {
    BoardSession session({"--mute"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_EQ(session.module.Probe(session.board.PortName().c_str()), BoardPresence::Silent);
    // A few matching bytes, not the run's thirty.
    EXPECT_EQ(session.board.Count("rx", "\"bytes\":\"00\""), kProbeMatchingBytes);
    EXPECT_TRUE(Quiet());

    EXPECT_EQ(session.module.Probe("no-such-port"), BoardPresence::Unusable);
    EXPECT_EQ(session.module.Failure().cause, FailureCause::PortNotOpened);
    EXPECT_TRUE(Quiet());
}
