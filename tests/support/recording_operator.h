// A recording implementation of the operator routines for tests without a dialog: every call is
// kept, in order, with its text; the port name and the check box are what the test sets.
#pragma once

#include <string>
#include <vector>

struct OperatorCall {
    enum Kind { Log, Status, Progress, Marquee, Clear, Enable, Disable };
    Kind kind;
    std::wstring text;  // Log and Status
    int position;       // Progress; Marquee: 1 on, 0 off
    int maximum;        // Progress
};

namespace recording_operator {

// Forgets every call and sets what the dialog reads return.
void Reset(const std::wstring& portName, bool characterCommandChecked);
std::vector<OperatorCall> Calls();
// Every Log text joined, as the log pane would show it after a clear.
std::wstring LogText();

}  // namespace recording_operator
