// The one channel through which the update module reports, handed to it by whoever runs it: error
// diagnostics, log text, block progress (of the programming and of a read-back) and the status
// line. Every report does nothing until an
// implementation says otherwise, so that a module nobody watches reports to nobody.
#pragma once

class ModuleReports {
public:
    virtual ~ModuleReports() = default;

    // A diagnostic that names the failing operation ("ModUpdate1527::OpenCom() - ..."); the
    // receiver puts its prefix before it and ends the line after it.
    virtual void Error(const char*) {}
    // Text for the log, appended as it is: it carries its own line ends.
    virtual void Log(const char*) {}
    // Block `current` of `total` 128-byte blocks is being dealt with.
    virtual void Progress(int, int) {}
    // `done` of the `total` blocks sent have been read back (the verify option's read-back; the
    // design never reads back).
    virtual void ReadBackProgress(int, int) {}
    // The whole status line.
    virtual void Status(const char*) {}
};
