// velmora-cli's outcome line and exit code, from the outcome a run carries: which cause gets the
// terminal's advice, which stop wins, and the step's place in the line and the code.
#include "cli/run_conclusion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

RunOutcome Failed(Step step, FailureCause cause, const std::string& description) {
    RunOutcome outcome;
    outcome.end = RunEnd::StepFailed;
    outcome.step = step;
    outcome.failure.step = step;
    outcome.failure.cause = cause;
    outcome.failure.description = description;
    outcome.bitRate = 76800;
    return outcome;
}

RunOutcome NotOpened(Step step, PortProblem kind, const std::string& detail) {
    RunOutcome outcome = Failed(step, FailureCause::PortNotOpened, "the port did not come back");
    outcome.failure.portProblem = {kind, detail};
    return outcome;
}

struct ConclusionCase {
    RunOutcome outcome;
    StopSignal stop;
    int exitCode;
    const char* text;
};

TEST(RunConclusion, ANamedCauseGetsItsStepsLineAndCode) {
    const char kUntouched[] = ": the board's flash was not touched";
    const ConclusionCase cases[] = {
        {NotOpened(Step::ConnectTest, PortProblem::NoSuchPort, ""), StopSignal::None, 11,
         "cannot use the port /dev/ttyUSB0: no such port (velmora-cli ports lists them)"},
        {Failed(Step::ConnectTest, FailureCause::LinkLost, "the port's device went away"),
         StopSignal::None, 11,
         "step [01] failed: the port's device went away (was the adapter unplugged?)"},
        {NotOpened(Step::BootMode, PortProblem::Busy, ""), StopSignal::None, 12,
         "step [02] failed: cannot reopen the port: busy: another program holds it"},
        {NotOpened(Step::BootMode, PortProblem::None, ""), StopSignal::None, 12,
         "step [02] failed: the port did not come back"},
        {NotOpened(Step::ChangingBitRate, PortProblem::RateRefused, "the driver refused it"),
         StopSignal::None, 18,
         "step [08] failed: the port cannot run at 76800 bps: the driver refused it; try a lower "
         "rate, such as --bps 62500"},
        {Failed(Step::ChangingBitRate, FailureCause::Refused, "refused"), StopSignal::None, 18,
         "step [08] failed: refused; try a lower rate, such as --bps 62500"},
        {Failed(Step::ChangingBitRate, FailureCause::NoAnswer, "no answer"), StopSignal::None, 18,
         "step [08] failed: no answer"},
        {Failed(Step::ConfirmBitRate, FailureCause::NoAnswer, "no ACK"), StopSignal::None, 19,
         "step [09] failed: no ACK; try a lower rate, such as --bps 62500"},
        {Failed(Step::ConfirmBitRate, FailureCause::Refused, "answered 0x15"), StopSignal::None, 19,
         "step [09] failed: answered 0x15"},
    };
    for (const ConclusionCase& expected : cases) {
        const RunConclusion conclusion =
            ConcludeRun(expected.outcome, expected.stop, "/dev/ttyUSB0");
        const bool portLine = std::string(expected.text).rfind("cannot use", 0) == 0;
        EXPECT_EQ(expected.text + std::string(portLine ? "" : kUntouched), conclusion.text);
        EXPECT_EQ(expected.exitCode, conclusion.exitCode) << expected.text;
        EXPECT_TRUE(conclusion.failure) << expected.text;
    }
}

TEST(RunConclusion, AStopOutranksTheCauseAndTheFlashStateFollowsTheStep) {
    RunOutcome interrupted = Failed(Step::Programming, FailureCause::NoAnswer, "no answer");
    interrupted.interrupted = true;
    RunConclusion conclusion = ConcludeRun(interrupted, StopSignal::HangUp, "COM3");
    EXPECT_EQ(129, conclusion.exitCode);
    EXPECT_EQ(
        "stopped by SIGHUP (the terminal went away) during step [11]: the board's flash may now "
        "be erased or partly written",
        conclusion.text);

    // Without a stop the operator asked for, the cause stands.
    conclusion = ConcludeRun(interrupted, StopSignal::None, "COM3");
    EXPECT_EQ(21, conclusion.exitCode);
    EXPECT_EQ("step [11] failed: no answer: the board's flash may now be erased or partly written",
              conclusion.text);
}

TEST(RunConclusion, ProgrammedRunsSayHowTheyEnded) {
    RunOutcome completed;
    completed.end = RunEnd::Completed;
    completed.step = Step::Rebooting;
    completed.blocksAcknowledged = 3;
    completed.endAcknowledged = true;
    completed.seconds = 4.2;
    RunConclusion conclusion = ConcludeRun(completed, StopSignal::None, "COM3");
    EXPECT_EQ(0, conclusion.exitCode);
    EXPECT_FALSE(conclusion.failure);
    EXPECT_EQ("Completed. 3 blocks sent (384 bytes) in 4.2 s.", conclusion.text);

    completed.endAcknowledged = false;
    EXPECT_EQ(6, ConcludeRun(completed, StopSignal::None, "COM3").exitCode);

    RunOutcome unrebooted = completed;
    unrebooted.end = RunEnd::RebootFailed;
    unrebooted.endAcknowledged = true;
    EXPECT_EQ(4, ConcludeRun(unrebooted, StopSignal::None, "COM3").exitCode);
}

}  // namespace
