// The one way an update run, and the loading of its firmware, reach the person at the front end:
// everything they are told (log pane, status line, file name, progress bar, steps, controls) and
// the one choice the run reads. The window implements it on its dialog, velmora-cli on its
// console, tests with a recording. Every call does nothing until a front end says otherwise, so
// that each front end shows what it has and NullOperator drops everything. The run hands it to
// the module as the module's reports.
#pragma once

#include <string>

#include "bootmode/module_reports.h"
#include "bootmode/step_failure.h"
#include "bootmode/update_step.h"

class Operator : public ModuleReports {
public:
    // Log pane. The callers put the line ends ("\r\n") into their texts.
    virtual void AppendLog(const wchar_t*) {}
    // The same for the 8-bit texts of the module and the reader.
    void AppendLogA(const char* text);
    // "Error occured : " and the text, then a line end, each appended on its own; a null text
    // writes nothing. Every front end's errors get their prefix here.
    void ReportError(const char* text);
    virtual void ClearLog() {}

    // Status line.
    virtual void SetStatusText(const wchar_t*) {}
    void SetStatusTextA(const char* text);
    // The box that shows the loaded file's name; " " once a load has failed.
    virtual void SetFileName(const wchar_t*) {}

    // Progress bar: range 0..maximum (low 16 bits of maximum in the window), then the position.
    virtual void SetProgress(int, int) {}
    // The read-back after programming: blocks read back of the blocks sent. The window never
    // reads back.
    virtual void SetReadBackProgress(int, int) {}
    // Marquee mode on; off leaves the bar empty with range 0..100.
    virtual void SetMarquee(bool) {}
    // A numbered step begins, before its header is logged; or it ends.
    virtual void StepStarted(Step) {}
    virtual void StepEnded(Step, bool) {}
    // The first rate failed at the step (the link did not come up at [08] or [09], or blocks did
    // not get through at [11]): the run starts over from [01] at the second.
    virtual void BitRateFellBack(Step, int, int) {}
    // Before [01]: the port's driver does not run the first rate (the second says why), and the
    // run starts at the third instead.
    virtual void BitRateSkipped(int, const std::string&, int) {}
    // The run failed at the step for the failure, before anything was erased, and starts over
    // from [01]: the retry's number, of how many in all.
    virtual void StartingOver(Step, const StepFailure&, int, int) {}

    // The front end's inputs (port list, browse and Write); the character-command check box always
    // stays disabled.
    virtual void EnableControls() {}
    virtual void DisableControls() {}

    // The "Using Character Command" check box is ticked.
    virtual bool IsCharacterCommandChecked() { return false; }

protected:
    // ReportError's line, without its line end, once it is in the log: for a front end that also
    // shows errors elsewhere.
    virtual void ErrorReported(const std::string&) {}

private:
    // The module's reports, where the window's design sends its four callbacks.
    void Error(const char* text) final { ReportError(text); }
    void Log(const char* text) final { AppendLogA(text); }
    void Progress(int current, int total) final { SetProgress(current, total); }
    void ReadBackProgress(int done, int total) final { SetReadBackProgress(done, total); }
    void Status(const char* text) final { SetStatusTextA(text); }
};

// For runs and loads that nobody watches.
class NullOperator final : public Operator {};
