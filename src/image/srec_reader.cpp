// The S-record reader: lines of "S", type, count, address, data and checksum become records.
#include "image/srec_reader.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

#include "image/split_string.h"

namespace {

const std::string kLineBreaks = "\r\n";
const int kMaxDataBytes = static_cast<int>(sizeof(SRecord::data));
const uint32_t kHighestAddress = 0xFFFFFFFF;

// Where a type keeps its fields: the address characters after the count field, and the bytes
// that the count covers besides the data (address and checksum).
struct LineLayout {
    std::size_t addressChars;
    int overheadBytes;
};

LineLayout LayoutOf(int32_t type) {
    switch (type) {
        case 1:
            return {4, 3};
        case 2:
            return {6, 4};
        case 3:
            return {8, 5};
        default:
            return {0, 3};
    }
}

// The value of each character as a hexadecimal digit, -1 for the others: the scan below looks up
// every character of a multi-MiB file, so a table beats comparisons.
struct HexDigitTable {
    int8_t values[256];
    constexpr HexDigitTable() : values() {
        for (int c = 0; c < 256; ++c) {
            values[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                        : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                        : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                               : int8_t{-1};
        }
    }
};
constexpr HexDigitTable kHexDigits;

int HexDigitValue(char c) {
    return kHexDigits.values[static_cast<unsigned char>(c)];
}

bool IsScanSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Converts a field as a "%X" scan of the field's characters alone does: leading white space, a
// sign and a 0x prefix are taken, digits run to the first other character, no digits give 0. A
// field holds at most 8 digits, so the value cannot overflow.
uint32_t ScanHex(const char* field, std::size_t width) {
    const char* end = field + width;
    while (field != end && IsScanSpace(*field)) {
        ++field;
    }
    bool negative = false;
    if (field != end && (*field == '+' || *field == '-')) {
        negative = *field == '-';
        ++field;
    }
    // "0x" without a digit after it reads as 0 whether or not it is taken as a prefix.
    if (end - field >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
        field += 2;
    }
    uint32_t value = 0;
    for (; field != end && HexDigitValue(*field) >= 0; ++field) {
        value = value << 4 | static_cast<uint32_t>(HexDigitValue(*field));
    }
    return negative ? 0u - value : value;
}

// Diagnostics carry two numbers at most, so the buffer always holds them.
void AppendFormatted(std::string& text, const char* format, ...) {
    char line[128];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    text += line;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool IsDataRecord(const SRecord& record) {
    return record.type >= 1 && record.type <= 3;
}

int DataByteCount(const SRecord& record) {
    const int overhead = IsDataRecord(record) ? record.type + 2 : 3;
    const int length = record.count - overhead;
    return length < 0 ? 0 : length > kMaxDataBytes ? kMaxDataBytes : length;
}

SRECReader::SRECReader() : firstIndex_(0), lastIndex_(0), startAddress_(0), endAddress_(0) {}

SRECReader::~SRECReader() = default;

bool SRECReader::Clear() {
    firstIndex_ = 0;
    lastIndex_ = 0;
    startAddress_ = 0;
    endAddress_ = 0;
    // Swapped out rather than cleared, so that the memory of a large text goes back too.
    std::vector<SRecord>().swap(records_);
    std::string().swap(messages_);
    return true;
}

bool SRECReader::Parse(const char* data, int size) {
    if (data == nullptr || size <= 0) {
        return false;
    }
    return ParseText(data, static_cast<std::size_t>(size));
}

bool SRECReader::Parse(const std::vector<uint8_t>& bytes) {
    return ParseText(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool SRECReader::ParseText(const char* text, std::size_t size) {
    if (size == 0) {
        return false;
    }
    return ParseGuarded([this, text, size] {
        std::size_t position = 0;
        ForEachPiece(text, size, kLineBreaks,
                     [this, &position](const char* line, std::size_t length) {
                         return ParseLine(position++, line, length);
                     });
    });
}

bool SRECReader::ParseLines(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return false;
    }
    return ParseGuarded([this, &lines] {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!ParseLine(i, lines[i].data(), lines[i].size())) {
                break;
            }
        }
    });
}

// A text of nothing but line breaks makes a diagnostic of every byte, many times its own size:
// running out of memory on such a file is a failed parse, not the end of the program.
template <typename ForEachLine>
bool SRECReader::ParseGuarded(ForEachLine forEachLine) {
    try {
        Clear();
        forEachLine();
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    bool firstFound = false;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (!firstFound && records_[i].type > 0) {
            firstIndex_ = static_cast<uint32_t>(i);
            firstFound = true;
        }
        if (IsDataRecord(records_[i])) {
            lastIndex_ = static_cast<uint32_t>(i);
        }
    }
    return true;
}

bool SRECReader::ParseLine(std::size_t position, const char* line, std::size_t length) {
    const int lineNumber = static_cast<int>(position);
    if (length == 0) {
        AppendFormatted(messages_, "Line %d is not enought to read as SRECORD = %d", lineNumber, 0);
        return true;
    }
    if (line[0] != 'S') {
        return false;
    }
    if (length < 7) {
        AppendFormatted(messages_, "Line %d is not enought to read as SRECORD = %d", lineNumber,
                        static_cast<int>(length));
        return true;
    }
    SRecord record = {};
    // Signed as the char of the x86 compilers these files come from, so that every platform gives
    // a byte above 0x7F the same type.
    record.type = static_cast<signed char>(line[1]) - '0';
    record.count = static_cast<int32_t>(ScanHex(line + 2, 2));
    if (record.count <= 0 || length < 2 * static_cast<std::size_t>(record.count) + 4) {
        return true;
    }
    const LineLayout layout = LayoutOf(record.type);
    if (record.count < layout.overheadBytes) {
        AppendFormatted(messages_, "Line %d has a count too small to read as SRECORD = %d",
                        lineNumber, record.count);
        return true;
    }
    // A count field holds at most 0xFF, so the record always has room for the line's data.
    const int dataBytes = DataByteCount(record);
    if (IsDataRecord(record)) {
        record.address = ScanHex(line + 4, layout.addressChars);
        // The end address sizes the programming image; a wrapped one would cut records off it.
        if (record.address > kHighestAddress - static_cast<uint32_t>(record.count)) {
            AppendFormatted(messages_,
                            "Line %d runs past the last address to read as SRECORD = 0x%08X",
                            lineNumber, record.address);
            return true;
        }
        if (record.address < startAddress_) {
            startAddress_ = record.address;
        } else if (record.address + static_cast<uint32_t>(record.count) > endAddress_) {
            endAddress_ = record.address + static_cast<uint32_t>(record.count);
        }
    }
    const char* field = line + 4 + layout.addressChars;
    for (int i = 0; i < dataBytes; ++i, field += 2) {
        record.data[i] = static_cast<uint8_t>(ScanHex(field, 2));
    }
    record.checksum = static_cast<uint8_t>(ScanHex(field, 2));
    records_.push_back(record);
    return true;
}

bool SRECReader::LoadFile(const char* path) {
    if (path == nullptr) {
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return false;
    }
    // Read in steps up to the end: a seek gives no true size for every kind of file (a folder,
    // a device), so its answer only reserves room, which spares a large file its regrowing.
    const std::size_t kStep = 64 * 1024;
    std::vector<uint8_t> bytes;
    try {
        if (std::fseek(file.get(), 0, SEEK_END) == 0) {
            const long size = std::ftell(file.get());
            if (size > 0 && size <= INT_MAX) {
                bytes.reserve(static_cast<std::size_t>(size) + kStep);
            }
            std::rewind(file.get());
        }
        std::size_t got = kStep;
        while (got == kStep) {
            const std::size_t used = bytes.size();
            bytes.resize(used + kStep);
            got = std::fread(bytes.data() + used, 1, kStep, file.get());
            bytes.resize(used + got);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (std::ferror(file.get())) {
        return false;
    }
    return Parse(bytes);
}

const SRecord* SRECReader::GetRecord(unsigned index) const {
    return index < records_.size() ? &records_[index] : nullptr;
}

int SRECReader::GetRecordCount() const {
    return static_cast<int>(records_.size());
}

int SRECReader::GetDataByteCount() const {
    long long total = 0;
    for (const SRecord& record : records_) {
        if (IsDataRecord(record)) {
            total += record.count;
        }
    }
    // Past INT_MAX only with a text of hundreds of MiB; clamped, it still reads as "not empty".
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

const char* SRECReader::GetMessages() const {
    return messages_.c_str();
}
