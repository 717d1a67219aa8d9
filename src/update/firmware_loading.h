// Loading a chosen firmware file: read it whole, parse it, and report each step as the window's
// log pane and status line show it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/srec_reader.h"

class Operator;

// Where a load keeps what it reads: the window hands its globals, velmora-cli values of its own.
struct FirmwareStore {
    std::unique_ptr<char[]>& fileData;    // the bytes of the last file opened
    int32_t& fileSize;                    // their count
    std::unique_ptr<SRECReader>& reader;  // created at the first load that reads its file
};

enum class LoadOutcome {
    Loaded,     // the reader holds the file's records
    NotOpened,  // the file could not be opened
    Directory,  // the name is a folder's; the window says that it could not open the file
    TooLarge,   // the file does not fit in memory
    ShortRead,  // the file could not be read whole
    NoReader,   // the reader could not be created
    NotParsed,  // an empty file, or memory ran out while parsing
    Refused     // the reader refused the text (its GetRefusal() says why)
};

// Clears the log, reads the file at `path` (shown as given) into the store, parses it with the
// store's reader and logs the summary. The caller has shown the file's name; a file that does not
// parse sets it to " ". Whether firmware now counts as loaded follows from the outcome: the
// window keeps its path only after Loaded and NoReader.
LoadOutcome LoadFirmware(const std::wstring& path, const FirmwareStore& store, Operator& reports);
// LoadFirmware's two halves, for a front end that looks at the bytes before parsing them. The
// first clears the log and reads the file into the store: Loaded once it is read. The second
// parses the store's bytes with its reader and logs the summary or the refusal.
LoadOutcome ReadFirmwareFile(const std::wstring& path, const FirmwareStore& store,
                             Operator& reports);
LoadOutcome ParseFirmwareFile(const FirmwareStore& store, Operator& reports);
