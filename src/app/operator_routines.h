// The routines through which the window shows what happens on its dialog's controls, from its own
// thread and from the update thread, and the reads of the operator's choices.
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

// The port list, browse and Write; the character-command check box always stays disabled.
void EnableControls();
void DisableControls();

// The chosen port's name as a run opens it: the combo box's text, at most 39 characters.
std::wstring ReadSelectedPortName();
// The "Using Character Command" check box is ticked.
bool IsCharacterCommandChecked();
