// The exit codes of velmora-cli, and what each means as --help lists it (the README's table says
// the same).
#pragma once

#include "bootmode/update_step.h"
#include "cli/interrupt_watch.h"

enum ExitCode {
    kExitProgrammed = 0,
    kExitUsage = 2,
    kExitFileRefused = 3,
    kExitRebootFailed = 4,
    kExitVerifyFailed = 5,
    kExitEndNotAcknowledged = 6,
    kExitSomeBoardsFailed = 7,
    kExitRecordFailed = 8,
    kExitStepFailedBase = 10,
    kExitSignalBase = 128
};

// 10 + the step's number: 11 to 21 for [01] to [11].
constexpr int StepFailedExitCode(Step step) {
    return kExitStepFailedBase + StepNumber(step);
}

// 128 + the signal's number.
constexpr int StopExitCode(StopSignal stop) {
    return kExitSignalBase + static_cast<int>(stop);
}

// The codes `first` to `last` and their meaning, a line end before each line that continues it.
struct ExitCodeMeaning {
    int first;
    int last;
    const char* meaning;
};

constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitProgrammed, kExitProgrammed, "programmed and rebooted (info, ports, history: done)"},
    {kExitUsage, kExitUsage,
     "usage error: unknown command or option, missing argument, a bad --format,\n"
     "--offset or --bps (a rate the board refuses), two names of one port, a --log\n"
     "file that is the firmware file, shared by two ports or cannot be written,\n"
     "--serial without --serial-start or --record, numbers the format cannot hold,\n"
     "--count without --repeat, --repeat with --quiet"},
    {kExitFileRefused, kExitFileRefused,
     "the firmware file is missing, unreadable, refused or holds nothing to program,\n"
     "or holds data where --serial would write the numbers"},
    {kExitRebootFailed, kExitRebootFailed, "programmed, but every reboot attempt failed"},
    {kExitVerifyFailed, kExitVerifyFailed,
     "programmed, but the flash does not hold the image: --verify or --read-back\n"
     "compared it and found a difference"},
    {kExitEndNotAcknowledged, kExitEndNotAcknowledged,
     "the board did not acknowledge the end of programming: it may not start"},
    {kExitSomeBoardsFailed, kExitSomeBoardsFailed,
     "several ports or --repeat: a board was not programmed (see the table or --json)"},
    {kExitRecordFailed, kExitRecordFailed,
     "the record (--record) cannot be opened, read or written, or has no serial\n"
     "number to give"},
    {StepFailedExitCode(Step::ConnectTest), StepFailedExitCode(Step::Programming),
     "step [01]..[11] failed: 10 + the step's number ([01]: the port cannot be\n"
     "used, or another program holds its lock)"},
    {StopExitCode(StopSignal::HangUp), StopExitCode(StopSignal::HangUp),
     "stopped by SIGHUP: the terminal went away (Windows: the console closed)"},
    {StopExitCode(StopSignal::Interrupt), StopExitCode(StopSignal::Interrupt),
     "interrupted by Ctrl-C (SIGINT)"},
    {StopExitCode(StopSignal::Terminate), StopExitCode(StopSignal::Terminate),
     "stopped by SIGTERM"},
};
