// Where velmora-cli's reporting routines send the log, the status and the progress of a run.
#pragma once

#include <string>

struct ConsoleOptions {
    bool quiet = false;         // standard output stays silent; errors still reach standard error
    bool progressLine = false;  // keep one updating progress line on standard error (a terminal)
    std::string logPath;        // also write the whole log, CR LF as the window shows it, here
    std::wstring portName;      // what the run reads as the chosen port
};

// Points the reporting routines at the terminal; false, with the reason, when the log file cannot
// be created.
bool StartConsole(const ConsoleOptions& options, std::string* error);
// Redraws the progress line, so that the time shown moves on between the run's reports.
void RefreshProgress();
// The outcome as the log's last line. A failure is also the one line on standard error, in the
// same words; on a terminal that shows both, once.
void Conclude(const std::string& text, bool failure);
// Takes the progress line off the terminal and closes the log file.
void StopConsole();
// One line for the person at the terminal, on standard error, whatever --quiet says.
void Complain(const std::string& text);
