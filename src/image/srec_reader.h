// The S-record reader: turns the text of a Motorola S-record file into records and a summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One line of the file. Fields past the line's data length stay 0.
struct SRecord {
    int32_t type;      // the type character minus '0'
    int32_t count;     // the count field: bytes of address, data and checksum on the line
    uint32_t address;  // load address for types 1 to 3, 0 for every other type
    // A count of 0xFF less the address and checksum bytes leaves at most 252 data bytes.
    uint8_t data[252];
    uint8_t checksum;  // as read, never verified
};

// S1, S2 and S3 records: the ones with a load address, whose data is firmware.
bool IsDataRecord(const SRecord& record);
// The bytes of record.data that the line filled: the count less 3, 4 or 5 for types 1, 2 and 3 and
// less 3 for every other type, never below 0 nor beyond the array.
int DataByteCount(const SRecord& record);

class SRECReader {
public:
    SRECReader();
    virtual ~SRECReader();

    // Always true: empties the records, the messages and the summary.
    bool Clear();

    // False for an empty text (the reader keeps what it had) or when memory runs out (the reader
    // is left empty); otherwise true, whatever the text held. The text is exactly size bytes.
    bool Parse(const char* data, int size);
    bool Parse(const std::vector<uint8_t>& bytes);
    // The same for a text already cut into lines: false for an empty list.
    bool ParseLines(const std::vector<std::string>& lines);
    // Reads the file whole and parses it; false when it cannot be opened or read.
    bool LoadFile(const char* path);

    // Null when index is not below GetRecordCount(). Valid until the next parse or Clear.
    const SRecord* GetRecord(unsigned index) const;
    int GetRecordCount() const;
    // The count fields of the type 1 to 3 records summed, so address and checksum bytes count too.
    int GetDataByteCount() const;
    // The parse diagnostics, run together without separators.
    const char* GetMessages() const;

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
    bool ParseGuarded(ForEachLine forEachLine);
    // False when the line ends the parse.
    bool ParseLine(std::size_t position, const char* line, std::size_t length);
    void AppendMessage(const char* format, std::size_t position, long long value);

    uint32_t firstIndex_;
    uint32_t lastIndex_;
    uint32_t startAddress_;
    uint32_t endAddress_;
    std::vector<SRecord> records_;
    std::string messages_;
};
