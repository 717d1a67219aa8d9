// The operator of a run and of a load, as the window shows them: its routines on the dialog. The
// log shows the steps, so nothing more is done with them.
#pragma once

#include "update/operator.h"

class DialogOperator final : public Operator {
public:
    void AppendLog(const wchar_t* text) override;
    void ReportError(const char* text) override;
    void ClearLog() override;
    void SetStatusText(const wchar_t* text) override;
    void SetFileName(const wchar_t* text) override;
    void SetProgress(int position, int maximum) override;
    void SetMarquee(bool on) override;
    void EnableControls() override;
    void DisableControls() override;
    bool IsCharacterCommandChecked() override;
};
