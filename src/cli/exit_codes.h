// The exit codes of velmora-cli, as its --help and the README list them.
#pragma once

enum ExitCode {
    kExitProgrammed = 0,          // programmed and rebooted (info, ports, history: done)
    kExitUsage = 2,               // unknown command or option, missing argument
    kExitFileRefused = 3,         // the firmware file is missing, unreadable, refused or empty
    kExitRebootFailed = 4,        // programmed, but every reboot attempt failed
    kExitVerifyFailed = 5,        // programmed, but the flash does not hold the image
    kExitEndNotAcknowledged = 6,  // programmed, but the end of programming was not acknowledged
    kExitSomeBoardsFailed = 7,    // several boards: at least one was not programmed
    kExitRecordFailed = 8,        // the record (--record) cannot be opened, read or written
    kExitStepFailedBase = 10,     // + the number of the failed step [01] to [11]: 11 to 21
    kExitSignalBase = 128         // + the signal that stopped the run: 129, 130, 143
};
