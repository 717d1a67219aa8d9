// Loading a chosen firmware file: read it whole, parse it, and report each step as the window's
// log pane and status line show it.
#pragma once

#include <string>

// Where the loading reports; the front end plugs in its own routines. Every front end has a log;
// one without a status line or a file-name box leaves those sinks null.
struct LoadReports {
    void (*appendLog)(const wchar_t* text);
    void (*appendLogA)(const char* text);
    void (*clearLog)();
    void (*setStatus)(const wchar_t* text);
    // The box that shows the loaded file's name; " " when the load failed.
    void (*setFileName)(const wchar_t* text);

    // The two optional sinks, doing nothing when null.
    void Status(const wchar_t* text) const;
    void FileName(const wchar_t* text) const;
};

enum class LoadOutcome {
    Loaded,     // g_firmwarePath is set and g_srecReader holds the file's records
    NotOpened,  // the file could not be opened
    TooLarge,   // the file does not fit in memory
    ShortRead,  // the file could not be read whole
    NoReader,   // the reader could not be created
    NotParsed,  // an empty file, or memory ran out while parsing
    Refused     // the reader refused the text (g_srecReader->GetRefusal() says why)
};

// Clears the log, reads the file at `path` (shown as given) into g_fileData, parses it with
// g_srecReader (created at the first load) and logs the summary; on failure g_firmwarePath is
// emptied, as the Write command then refuses to start. The caller has set g_firmwarePath and the
// file-name box.
LoadOutcome LoadFirmware(std::wstring path, const LoadReports& reports);
