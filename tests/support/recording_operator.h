// A recording operator for tests without a dialog: every call is kept, in order, with its text;
// the check box is what the test sets.
#pragma once

#include <string>
#include <vector>

#include "serial/thread_sync.h"
#include "update/operator.h"

struct OperatorCall {
    enum Kind {
        Log,
        Status,
        FileName,
        Progress,
        Marquee,
        StepStart,
        StepEnd,
        Clear,
        Enable,
        Disable
    };
    Kind kind;
    std::wstring text;  // Log, Status and FileName
    int position;       // Progress; Marquee: 1 on, 0 off; StepStart and StepEnd: the step
    int maximum;        // Progress; StepEnd: 1 when the step succeeded
};

// Safe to call from the update thread while a test reads.
class RecordingOperator final : public Operator {
public:
    explicit RecordingOperator(bool characterCommandChecked = false);

    void AppendLog(const wchar_t* text) override;
    void ClearLog() override;
    void SetStatusText(const wchar_t* text) override;
    void SetFileName(const wchar_t* text) override;
    void SetProgress(int position, int maximum) override;
    void SetMarquee(bool on) override;
    void StepStarted(Step step) override;
    void StepEnded(Step step, bool succeeded) override;
    void EnableControls() override;
    void DisableControls() override;
    bool IsCharacterCommandChecked() override;

    // Forgets every call.
    void Reset();
    std::vector<OperatorCall> Calls() const;
    // Every Log text joined, as the log pane would show it after a clear.
    std::wstring LogText() const;

private:
    void Record(const OperatorCall& call);

    mutable Mutex lock_;
    std::vector<OperatorCall> calls_;
    const bool characterCommandChecked_;
};
