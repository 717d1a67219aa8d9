// The window's operator: each report goes to the routine that shows it on the dialog.
#include "app/dialog_operator.h"

#include <windows.h>

#include "app/main_dialog.h"
#include "app/operator_routines.h"
#include "app/resource.h"

void DialogOperator::AppendLog(const wchar_t* text) {
    ::AppendLog(text);
}

void DialogOperator::ReportError(const char* text) {
    ::ReportError(text);
}

void DialogOperator::ClearLog() {
    ::ClearLog();
}

void DialogOperator::SetStatusText(const wchar_t* text) {
    ::SetStatusText(text);
}

void DialogOperator::SetFileName(const wchar_t* text) {
    SetWindowTextW(GetDlgItem(g_dialog, IDC_FILE_NAME), text);
}

void DialogOperator::SetProgress(int position, int maximum) {
    ::SetProgress(position, maximum);
}

void DialogOperator::SetMarquee(bool on) {
    ::SetMarquee(on);
}

void DialogOperator::EnableControls() {
    ::EnableControls();
}

void DialogOperator::DisableControls() {
    ::DisableControls();
}

bool DialogOperator::IsCharacterCommandChecked() {
    return ::IsCharacterCommandChecked();
}
