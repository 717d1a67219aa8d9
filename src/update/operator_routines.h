// The routines through which the update run and the module report to the operator, and the two
// reads the run makes of the operator's choices. Every front end implements them: the window on
// its dialog's controls, velmora-cli on the terminal, tests with a recording.
#pragma once

#include <string>

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

// The front end's inputs (port list, browse and Write); the character-command check box always
// stays disabled.
void EnableControls();
void DisableControls();

// The chosen port's name as the run opens it (the window: the combo box's text, at most 39
// characters).
std::wstring ReadSelectedPortName();
// The "Using Character Command" check box is ticked.
bool IsCharacterCommandChecked();
