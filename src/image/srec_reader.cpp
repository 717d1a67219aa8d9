// The S-record reader: lines of "S", type, count, address, data and checksum become records.
#include "image/srec_reader.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/formatted_text.h"
#include "image/hex_digit.h"
#include "image/split_string.h"
#include "image/user_mat.h"

namespace {

const char kLineBreaks[] = "\r\n";
const int kMaxDataBytes = static_cast<int>(sizeof(SRecord::data));
// "S", type, count and a checksum with a one-byte field before it.
const std::size_t kShortestRecord = 7;
// The most bytes a count field can cover.
const int kLargestCount = 0xFF;

// Address bytes that the S-record format gives each type; S4 is reserved and read like S0.
int FormatAddressBytes(char typeDigit) {
    switch (typeDigit) {
        case '2':
        case '6':
        case '8':
            return 3;
        case '3':
        case '7':
            return 4;
        default:
            return 2;
    }
}

// The diagnostic of an empty line, numbered by its 0-based place among the pieces. A CR LF file
// has one behind every line, so it is built without a formatted print.
void AppendEmptyLineDiagnostic(std::string& messages, std::size_t position) {
    static const char kBefore[] = "Line ";
    static const char kAfter[] = " is not enought to read as SRECORD = 0";
    char number[16];
    const std::to_chars_result end =
        std::to_chars(number, number + sizeof(number), static_cast<int>(position));
    messages.append(kBefore, sizeof(kBefore) - 1);
    messages.append(number, end.ptr);
    messages.append(kAfter, sizeof(kAfter) - 1);
}

// LF right behind CR ends the same line as the CR.
bool FollowsCrLf(const char* text, const char* piece) {
    return piece - text >= 2 && piece[-1] == '\n' && piece[-2] == '\r';
}

// One text parsed into storage of its own, which the reader takes over only when the whole text
// has been accepted: a refusal or a failed allocation leaves the reader as it was.
class TextParse {
public:
    // False when the line refuses the text; refusal then holds the log line.
    bool TakeLine(std::size_t position, std::size_t lineNumber, const char* line,
                  std::size_t length);

    std::vector<SRecord> records;
    std::vector<uint32_t> recordLines;  // the line of each record
    std::string messages;
    std::string refusal;
    uint32_t startAddress = 0;
    uint32_t endAddress = 0;

private:
    bool TakeRecord(std::size_t lineNumber, const char* line, std::size_t length);
    bool Refuse(std::size_t lineNumber, const std::string& why);

    // The line that ended the records by not beginning with "S"; 0 while they go on.
    std::size_t endLine_ = 0;
    // S1 to S3 records so far, which an S5 or S6 record must count.
    unsigned long long dataRecords_ = 0;
};

bool TextParse::TakeLine(std::size_t position, std::size_t lineNumber, const char* line,
                         std::size_t length) {
    const bool startsRecord = length > 0 && line[0] == 'S';
    if (endLine_ != 0) {
        // Past the end only a record matters: it would be dropped without a word.
        if (!startsRecord) {
            return true;
        }
        return Refuse(lineNumber,
                      FormatText("S-record after line %llu, which is not one and ends the records",
                                 static_cast<unsigned long long>(endLine_)));
    }
    if (length == 0) {
        AppendEmptyLineDiagnostic(messages, position);
        return true;
    }
    if (!startsRecord) {
        endLine_ = lineNumber;
        return true;
    }
    return TakeRecord(lineNumber, line, length);
}

bool TextParse::TakeRecord(std::size_t lineNumber, const char* line, std::size_t length) {
    if (length < kShortestRecord) {
        return Refuse(lineNumber, FormatText("not an S-record: shorter than %d characters",
                                             static_cast<int>(kShortestRecord)));
    }
    const char typeDigit = line[1];
    if (typeDigit < '0' || typeDigit > '9') {
        return Refuse(lineNumber, "not an S-record: the type is not a digit");
    }
    const int countHigh = HexDigitValue(line[2]);
    const int countLow = HexDigitValue(line[3]);
    if ((countHigh | countLow) < 0) {
        return Refuse(lineNumber, "not an S-record: the count field is not hexadecimal");
    }
    const int count = countHigh << 4 | countLow;
    const int addressBytes = FormatAddressBytes(typeDigit);
    if (count < addressBytes + 1) {
        return Refuse(lineNumber,
                      FormatText("not an S-record: its count 0x%02X does not cover its %d address "
                                 "bytes and checksum",
                                 count, addressBytes));
    }
    const std::size_t needed = 4 + 2 * static_cast<std::size_t>(count);
    if (length < needed) {
        return Refuse(lineNumber,
                      FormatText("not an S-record: its count 0x%02X needs %llu characters, the "
                                 "line has %llu",
                                 count, static_cast<unsigned long long>(needed),
                                 static_cast<unsigned long long>(length)));
    }
    // Every byte the count covers, as the format lays them out: address, data, checksum.
    uint8_t bytes[kLargestCount];
    unsigned sum = static_cast<unsigned>(count);
    const char* field = line + 4;
    for (int i = 0; i < count; ++i, field += 2) {
        const int high = HexDigitValue(field[0]);
        const int low = HexDigitValue(field[1]);
        if ((high | low) < 0) {
            const char* name = i < addressBytes ? "address" : i + 1 < count ? "data" : "checksum";
            return Refuse(lineNumber,
                          FormatText("not an S-record: the %s field is not hexadecimal", name));
        }
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
        sum += bytes[i];
    }
    if ((sum & 0xFF) != 0xFF) {
        return Refuse(
            lineNumber,
            FormatText("checksum mismatch: its bytes add up to 0x%02X, not 0xFF", sum & 0xFF));
    }

    // An S5 or S6 record counts the data records before it: another count means that records were
    // lost, or that files were joined.
    if (typeDigit == '5' || typeDigit == '6') {
        unsigned long long counted = 0;
        for (int i = 0; i < addressBytes; ++i) {
            counted = counted << 8 | bytes[i];
        }
        if (counted != dataRecords_) {
            return Refuse(lineNumber,
                          FormatText("record count mismatch: the S%c record counts %llu data "
                                     "records, %llu come before it",
                                     typeDigit, counted, dataRecords_));
        }
    }

    // Filled in place; a refusal further down drops the whole parse, this record with it.
    SRecord& record = records.emplace_back();
    recordLines.push_back(static_cast<uint32_t>(lineNumber));
    record.type = typeDigit - '0';
    record.count = count;
    const int dataBytes = DataByteCount(record);
    // Types other than 1 to 3 keep no address: their data starts right after the count.
    int dataStart = 0;
    if (IsDataRecord(record)) {
        ++dataRecords_;
        dataStart = addressBytes;
        for (int i = 0; i < addressBytes; ++i) {
            record.address = record.address << 8 | bytes[i];
        }
        const uint64_t dataEnd = uint64_t{record.address} + static_cast<uint64_t>(dataBytes);
        if (dataEnd > kUserMatBytes) {
            const std::string where = dataBytes > 0
                                          ? FormatText("data at 0x%08X-0x%08llX", record.address,
                                                       static_cast<unsigned long long>(dataEnd - 1))
                                          : FormatText("address 0x%08X", record.address);
            return Refuse(lineNumber, where + FormatText(" lies outside the %u-byte user MAT",
                                                         static_cast<unsigned>(kUserMatBytes)));
        }
        // startAddress begins at 0 and addresses are unsigned, so in practice only the end moves.
        const uint32_t recordEnd = record.address + static_cast<uint32_t>(count);
        if (record.address < startAddress) {
            startAddress = record.address;
        } else if (recordEnd > endAddress) {
            endAddress = recordEnd;
        }
    }
    std::memcpy(record.data, bytes + dataStart, static_cast<std::size_t>(dataBytes));
    record.checksum = bytes[dataStart + dataBytes];
    return true;
}

bool TextParse::Refuse(std::size_t lineNumber, const std::string& why) {
    refusal = FormatText("ERROR : line %llu: ", static_cast<unsigned long long>(lineNumber)) + why +
              "\r\n";
    return false;
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

bool HoldsFirmwareData(const SRECReader& reader) {
    for (int i = 0; i < reader.GetRecordCount(); ++i) {
        const SRecord& record = *reader.GetRecord(static_cast<unsigned>(i));
        if (IsDataRecord(record) && DataByteCount(record) > 0) {
            return true;
        }
    }
    return false;
}

std::string UnterminatedRecords(const SRECReader& reader) {
    const int count = reader.GetRecordCount();
    if (count == 0) {
        return std::string();
    }
    const unsigned last = static_cast<unsigned>(count - 1);
    const int type = reader.GetRecord(last)->type;
    if (type >= 5 && type <= 9) {
        return std::string();
    }
    return FormatText(
        "line %u: the records end with an S%d record, without a count record (S5, "
        "S6) or a termination record (S7, S8, S9): the file may be cut short",
        static_cast<unsigned>(reader.GetRecordLine(last)), type);
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
    std::vector<uint32_t>().swap(recordLines_);
    std::string().swap(messages_);
    return true;
}

bool SRECReader::Parse(const char* data, int size) {
    refusal_.clear();
    if (data == nullptr || size <= 0) {
        return false;
    }
    return ParseText(data, static_cast<std::size_t>(size));
}

bool SRECReader::Parse(const std::vector<uint8_t>& bytes) {
    return ParseText(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool SRECReader::ParseText(const char* text, std::size_t size) {
    refusal_.clear();
    if (size == 0) {
        return false;
    }
    return ParseWhole([text, size](TextParse& parse) {
        std::size_t position = 0;
        std::size_t lineNumber = 0;
        bool accepted = true;
        ForEachPiece(text, size, kLineBreaks, [&](const char* line, std::size_t length) {
            if (!FollowsCrLf(text, line)) {
                ++lineNumber;
            }
            accepted = parse.TakeLine(position++, lineNumber, line, length);
            return accepted;
        });
        return accepted;
    });
}

bool SRECReader::ParseLines(const std::vector<std::string>& lines) {
    refusal_.clear();
    if (lines.empty()) {
        return false;
    }
    return ParseWhole([&lines](TextParse& parse) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!parse.TakeLine(i, i + 1, lines[i].data(), lines[i].size())) {
                return false;
            }
        }
        return true;
    });
}

// A text of nothing but line breaks makes a diagnostic of every byte, many times its own size:
// running out of memory on such a file is a failed parse, not the end of the program.
template <typename ForEachLine>
bool SRECReader::ParseWhole(ForEachLine forEachLine) {
    TextParse parse;
    try {
        if (!forEachLine(parse)) {
            refusal_.swap(parse.refusal);
            return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    records_.swap(parse.records);
    recordLines_.swap(parse.recordLines);
    messages_.swap(parse.messages);
    startAddress_ = parse.startAddress;
    endAddress_ = parse.endAddress;
    firstIndex_ = 0;
    lastIndex_ = 0;
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

bool SRECReader::LoadFile(const char* path) {
    refusal_.clear();
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

uint32_t SRECReader::GetRecordLine(unsigned index) const {
    return index < recordLines_.size() ? recordLines_[index] : 0;
}

int SRECReader::GetRecordCount() const {
    return static_cast<int>(records_.size());
}

std::vector<DataPiece> SRECReader::DataPieces() const {
    std::vector<DataPiece> pieces;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const SRecord& record = records_[i];
        const int bytes = DataByteCount(record);
        if (!IsDataRecord(record) || bytes == 0) {
            continue;
        }
        DataPiece& piece = pieces.emplace_back();
        piece.address = record.address;
        piece.bytes.assign(record.data, record.data + bytes);
        piece.origin = FormatText("line %u", recordLines_[i]);
    }
    return pieces;
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

const char* SRECReader::GetRefusal() const {
    return refusal_.c_str();
}
