// The S-record reader: turns the text of a Motorola S-record file into records and a summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/data_piece.h"

// One line of the file. Fields past the line's data length stay 0.
struct SRecord {
    int32_t type;      // the type character minus '0'
    int32_t count;     // the count field: bytes of address, data and checksum on the line
    uint32_t address;  // load address for types 1 to 3, 0 for every other type
    // A count of 0xFF less the address and checksum bytes leaves at most 252 data bytes.
    uint8_t data[252];
    uint8_t checksum;  // as read; the reader has checked the line's sum before storing it
};

// S1, S2 and S3 records: the ones with a load address, whose data is firmware.
bool IsDataRecord(const SRecord& record);
// The bytes of record.data that the line filled: the count less 3, 4 or 5 for types 1, 2 and 3 and
// less 3 for every other type, never below 0 nor beyond the array.
int DataByteCount(const SRecord& record);

class SRECReader;
// Some S1, S2 or S3 record of the reader carries at least one byte: there is firmware to program.
bool HoldsFirmwareData(const SRECReader& reader);
// Why the reader's records look cut short: "line <n>: ..." when the last of them is neither a
// count record (S5, S6) nor a termination record (S7, S8, S9), which every tool writes last;
// empty when it is one, or when there are no records.
std::string UnterminatedRecords(const SRECReader& reader);

// Reads a text whole or not at all. A text is refused, and the reader keeps what it had, when a
// line that begins with "S" is not a well-formed S-record (its fields, count and length as the
// format lays them out), its checksum does not add up, it follows the first line that does not
// begin with "S" (where the records end), it is a data record reaching outside the user MAT, or it
// is an S5 or S6 record whose count differs from the number of S1 to S3 records before it.
// Lines that do not begin with "S" after the records, empty lines and characters after a
// record's checksum are accepted; so is a text without any S-record line.
class SRECReader {
public:
    SRECReader();
    virtual ~SRECReader();

    // Always true: empties the records, the messages and the summary.
    bool Clear();

    // False for an empty text, when memory runs out and when the text is refused (GetRefusal
    // says why); in each case the reader keeps what it had, messages included. Otherwise true,
    // with the text's records and diagnostics in place of the earlier ones. The text is exactly
    // size bytes; LF, CR LF and a lone CR each end one of its lines.
    bool Parse(const char* data, int size);
    bool Parse(const std::vector<uint8_t>& bytes);
    // The same for a text already cut into lines, each entry one line: false for an empty list.
    bool ParseLines(const std::vector<std::string>& lines);
    // Reads the file whole and parses it; false when it cannot be opened or read, or is refused.
    bool LoadFile(const char* path);

    // Null when index is not below GetRecordCount(). Valid until the next parse or Clear. The
    // records lie one after another: GetRecord(i) + k is GetRecord(i + k).
    const SRecord* GetRecord(unsigned index) const;
    int GetRecordCount() const;
    // The line of the text that GetRecord(index) was read from, counted from 1 as refusals count
    // them; 0 when index is not below GetRecordCount().
    uint32_t GetRecordLine(unsigned index) const;
    // Each S1, S2 or S3 record with data as one piece, in file order, named by its line ("line 7").
    std::vector<DataPiece> DataPieces() const;
    // The count fields of the type 1 to 3 records summed, so address and checksum bytes count too.
    int GetDataByteCount() const;
    // The parse diagnostics, run together without separators.
    const char* GetMessages() const;
    // Why the last Parse, ParseLines or LoadFile refused its text, as one log line:
    // "ERROR : line <n>: <what failed>: <why>\r\n" for the first problem in the text. Empty when
    // that call was not refused.
    const char* GetRefusal() const;

    // Index of the first record of any type above 0.
    uint32_t firstIndex() const { return firstIndex_; }
    // Index of the last record of type 1 to 3.
    uint32_t lastIndex() const { return lastIndex_; }
    // Lowest load address, which starts at 0 and so stays 0: the image always begins at address 0.
    uint32_t startAddress() const { return startAddress_; }
    // Largest address + count over the type 1 to 3 records, a few bytes past their data.
    uint32_t endAddress() const { return endAddress_; }

private:
    bool ParseText(const char* text, std::size_t size);
    template <typename ForEachLine>
    bool ParseWhole(ForEachLine forEachLine);

    uint32_t firstIndex_;
    uint32_t lastIndex_;
    uint32_t startAddress_;
    uint32_t endAddress_;
    std::vector<SRecord> records_;
    std::vector<uint32_t> recordLines_;
    std::string messages_;
    std::string refusal_;
};
