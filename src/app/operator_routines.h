// The routines through which everything reports to the operator, and the two reads the update
// run makes from the dialog. Velmora.exe implements them on the main dialog's controls; tests
// link a recording implementation instead.
#pragma once

// Log pane. The callers put the line ends ("\r\n") into their texts.
void AppendLog(const wchar_t* text);
void AppendLogA(const char* text);
// "Error occured : " and the text, then a line end; a null text writes nothing.
void ReportError(const char* text);
void ClearLog();

// Status line.
void SetStatusText(const wchar_t* text);
void SetStatusTextA(const char* text);

// Progress bar: range 0..maximum (low 16 bits of maximum), then the position.
void SetProgress(int position, int maximum);
// Marquee mode on; off leaves the bar empty with range 0..100.
void SetMarquee(bool on);

// Port list, browse and Write buttons; the character-command check box always stays disabled.
void EnableControls();
void DisableControls();

// The selected port's name (the combo box's text), at most units - 1 characters, zero-terminated.
void ReadSelectedPortName(wchar_t* buffer, int units);
// The "Using Character Command" check box is ticked.
bool IsCharacterCommandChecked();
