// The operator of a run and of a load, as the window shows them: the routines that act on the
// main dialog's controls, from its own thread and from the update thread, and the reads of the
// operator's choices. The dialog, the browse command and the Write command report through it; the
// log shows the steps, so nothing more is done with them.
#pragma once

#include <string>

#include "update/operator.h"

class DialogOperator final : public Operator {
public:
    void AppendLog(const wchar_t* text) override;
    void ClearLog() override;
    void SetStatusText(const wchar_t* text) override;
    void SetFileName(const wchar_t* text) override;
    // Range 0..maximum (its low 16 bits), then the position.
    void SetProgress(int position, int maximum) override;
    void SetMarquee(bool on) override;
    void EnableControls() override;
    void DisableControls() override;
    bool IsCharacterCommandChecked() override;

    // The chosen port's name as a run opens it: the combo box's text, at most 39 characters.
    std::wstring ReadSelectedPortName();
};
