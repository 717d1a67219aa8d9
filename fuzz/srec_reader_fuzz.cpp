// Fuzzes the S-record reader: any text parses or is refused without reading past a line or writing
// past a record, a refusal names a line and keeps what was read, accepted records are well formed
// and inside the user MAT, the summary agrees with them, and a list of lines reads as the text
// does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/split_string.h"
#include "image/srec_reader.h"
#include "image/user_mat.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

const int kRecordBytes = static_cast<int>(sizeof(SRecord::data));

int OverheadBytes(const SRecord& record) {
    return IsDataRecord(record) ? record.type + 2 : 3;
}

// The line's own bytes from the count on: a data record keeps all of them.
bool ChecksumAddsUp(const SRecord& record) {
    unsigned sum = static_cast<unsigned>(record.count) + record.checksum;
    for (int shift = 0; shift < 8 * (record.type + 1); shift += 8) {
        sum += record.address >> shift & 0xFF;
    }
    for (int i = 0; i < DataByteCount(record); ++i) {
        sum += record.data[i];
    }
    return (sum & 0xFF) == 0xFF;
}

void CheckRecords(const SRECReader& reader) {
    Check(reader.startAddress() == 0, "the start address stays 0");
    const int count = reader.GetRecordCount();
    Check(reader.GetRecord(static_cast<unsigned>(count)) == nullptr, "no record past the end");
    uint64_t endAddress = 0;
    long long dataBytes = 0;
    int first = -1;
    int last = -1;
    for (int i = 0; i < count; ++i) {
        const SRecord* record = reader.GetRecord(static_cast<unsigned>(i));
        Check(record != nullptr, "every record below the count exists");
        Check(record->type >= 0 && record->type <= 9, "the type is a digit");
        Check(record->count > 0 && record->count <= 0xFF, "a stored count fits its field");
        const int length = record->count - OverheadBytes(*record);
        Check(length >= 0 && length <= kRecordBytes, "the data fit the record");
        Check(DataByteCount(*record) == length, "the data byte count follows the count");
        for (int j = length; j < kRecordBytes; ++j) {
            Check(record->data[j] == 0, "bytes past the data stay 0");
        }
        if (IsDataRecord(*record)) {
            Check(ChecksumAddsUp(*record), "a data record's bytes add up to 0xFF");
            Check(uint64_t{record->address} + static_cast<uint64_t>(length) <= kUserMatBytes,
                  "a data record lies inside the user MAT");
            const uint64_t end = uint64_t{record->address} + static_cast<uint64_t>(record->count);
            endAddress = end > endAddress ? end : endAddress;
            dataBytes += record->count;
            last = i;
        } else {
            Check(record->address == 0, "only types 1 to 3 have an address");
        }
        if (first < 0 && record->type > 0) {
            first = i;
        }
    }
    Check(reader.endAddress() == endAddress, "the end address is the largest record end");
    Check(reader.GetDataByteCount() == dataBytes, "the byte total sums the data counts");
    Check(reader.firstIndex() == static_cast<uint32_t>(first < 0 ? 0 : first), "first index");
    Check(reader.lastIndex() == static_cast<uint32_t>(last < 0 ? 0 : last), "last index");
    const char* messages = reader.GetMessages();
    Check(messages[0] == '\0' || std::strncmp(messages, "Line ", 5) == 0, "diagnostics only");
}

void CheckSame(const SRECReader& a, const SRECReader& b) {
    Check(a.GetRecordCount() == b.GetRecordCount(), "same record count");
    for (int i = 0; i < a.GetRecordCount(); ++i) {
        const SRecord* x = a.GetRecord(static_cast<unsigned>(i));
        const SRecord* y = b.GetRecord(static_cast<unsigned>(i));
        Check(x->type == y->type && x->count == y->count && x->address == y->address &&
                  std::memcmp(x->data, y->data, sizeof(x->data)) == 0 && x->checksum == y->checksum,
              "same records");
    }
    Check(a.endAddress() == b.endAddress() && a.firstIndex() == b.firstIndex() &&
              a.lastIndex() == b.lastIndex(),
          "same summary");
    Check(std::strcmp(a.GetMessages(), b.GetMessages()) == 0, "same diagnostics");
}

// A refusal is one log line that names a line of the text.
void CheckRefusal(const SRECReader& reader) {
    const std::string refusal = reader.GetRefusal();
    Check(refusal.compare(0, 13, "ERROR : line ") == 0, "a refusal names its line");
    Check(refusal.size() > 15 && refusal.compare(refusal.size() - 2, 2, "\r\n") == 0,
          "a refusal ends its log line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > 1024 * 1024) {
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(data);
    // A reader holding an earlier file, which a refusal must leave as it is.
    const char kEarlier[] = "S1070100AABBCCDDE9\n";
    SRECReader earlier;
    Check(earlier.Parse(kEarlier, static_cast<int>(sizeof(kEarlier) - 1)), "the earlier file");
    SRECReader reader;
    reader.Parse(kEarlier, static_cast<int>(sizeof(kEarlier) - 1));
    const bool accepted = reader.Parse(text, static_cast<int>(size));
    if (accepted) {
        Check(reader.GetRefusal()[0] == '\0', "an accepted text has no refusal");
    } else {
        Check(size == 0 || reader.GetRefusal()[0] != '\0', "only a refusal fails a text");
        if (size > 0) {
            CheckRefusal(reader);
        }
        CheckSame(earlier, reader);
    }
    CheckRecords(reader);

    const std::vector<std::string> lines = SplitString(std::string(text, size), "\r\n");
    std::size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size();
    }
    Check(size == 0 ? lines.empty() : total + lines.size() - 1 == size, "pieces and cuts");

    // The same lines as a list: the same verdict and records; the same line numbers too when
    // only LF ends the lines, since an entry of the list is a line of its own.
    SRECReader fromLines;
    Check(fromLines.ParseLines(lines) == (accepted && size > 0), "lists and texts agree");
    if (accepted && size > 0) {
        CheckSame(reader, fromLines);
    } else if (size > 0 && std::memchr(text, '\r', size) == nullptr) {
        Check(std::strcmp(reader.GetRefusal(), fromLines.GetRefusal()) == 0, "same refusal");
    }

    // Each line alone in a buffer of its own size: a read past the line is a read past the buffer.
    for (const std::string& line : lines) {
        std::unique_ptr<char[]> exact(new char[line.size()]);
        std::memcpy(exact.get(), line.data(), line.size());
        SRECReader single;
        if (!single.Parse(exact.get(), static_cast<int>(line.size())) && !line.empty()) {
            CheckRefusal(single);
        }
        CheckRecords(single);
        Check(single.GetRecordCount() <= 1, "one line, one record at most");
    }
    return 0;
}
