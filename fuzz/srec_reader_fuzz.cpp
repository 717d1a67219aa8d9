// Fuzzes the S-record reader: any text parses without reading past a line or writing past a
// record, the summary agrees with the records, and a list of lines reads as the text does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/split_string.h"
#include "image/srec_reader.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool HasAddress(int32_t type) {
    return type >= 1 && type <= 3;
}

int OverheadBytes(int32_t type) {
    return HasAddress(type) ? type + 2 : 3;
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
        Check(record->count > 0, "a stored count is positive");
        const int length = record->count - OverheadBytes(record->type);
        Check(length >= 0 && length <= 32, "the data fit the record");
        for (int j = length; j < 32; ++j) {
            Check(record->data[j] == 0, "bytes past the data stay 0");
        }
        if (HasAddress(record->type)) {
            const uint64_t end = uint64_t{record->address} + static_cast<uint64_t>(record->count);
            Check(end <= 0xFFFFFFFFu, "a record ends within the address space");
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > 1024 * 1024) {
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(data);
    SRECReader reader;
    Check(reader.Parse(text, static_cast<int>(size)) == (size > 0), "empty text alone fails");
    CheckRecords(reader);

    const std::vector<std::string> lines = SplitString(std::string(text, size), "\r\n");
    std::size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size();
    }
    Check(size == 0 ? lines.empty() : total + lines.size() - 1 == size, "pieces and cuts");

    SRECReader fromLines;
    Check(fromLines.ParseLines(lines) == !lines.empty(), "an empty list alone fails");
    CheckSame(reader, fromLines);

    // Each line alone in a buffer of its own size: a read past the line is a read past the buffer.
    for (const std::string& line : lines) {
        std::unique_ptr<char[]> exact(new char[line.size()]);
        std::memcpy(exact.get(), line.data(), line.size());
        SRECReader single;
        single.Parse(exact.get(), static_cast<int>(line.size()));
        CheckRecords(single);
        Check(single.GetRecordCount() <= 1, "one line, one record at most");
    }
    return 0;
}
