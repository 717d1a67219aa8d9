// The Intel HEX reader: ':', byte count, address, type, data and checksum, in hexadecimal pairs.
#include "image/ihex_reader.h"

#include <cstdint>
#include <string>
#include <utility>

#include "image/formatted_text.h"
#include "image/hex_digit.h"
#include "image/split_string.h"

namespace {

enum RecordType : int {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05
};

// ':', then the count, address and type fields and the checksum: 1 + 2 + 4 + 2 + 2.
const std::size_t kShortestRecord = 11;
// A data record's address field reaches 64 KiB from its base.
const uint32_t kAddressFieldReach = 0x10000;

// The data bytes that each type other than data must carry.
int FixedDataBytes(int type) {
    switch (type) {
        case kEndOfFile:
            return 0;
        case kExtendedSegmentAddress:
        case kExtendedLinearAddress:
            return 2;
        default:
            return 4;
    }
}

class HexParse {
public:
    // False when the line refuses the text.
    bool TakeLine(std::size_t lineNumber, const char* line, std::size_t length);
    // After the last line: false when records came but no end-of-file record, as in a file cut
    // at a line's end.
    bool Finish();

    PieceRead read;

private:
    bool TakeRecord(std::size_t lineNumber, const char* line, std::size_t length);
    bool Refuse(std::size_t lineNumber, const std::string& why);

    // The line of the end-of-file record; 0 before it.
    std::size_t endLine_ = 0;
    // The line of the last record taken; 0 before the first.
    std::size_t lastRecordLine_ = 0;
    // What extended address records add to a data record's address field.
    uint32_t base_ = 0;
};

bool HexParse::TakeLine(std::size_t lineNumber, const char* line, std::size_t length) {
    const bool startsRecord = length > 0 && line[0] == ':';
    if (endLine_ != 0) {
        if (!startsRecord) {
            return true;
        }
        return Refuse(lineNumber, FormatText("record after the end of file: line %llu ends it",
                                             static_cast<unsigned long long>(endLine_)));
    }
    if (length == 0) {
        return true;
    }
    if (!startsRecord) {
        return Refuse(lineNumber, "not an Intel HEX record: it does not begin with ':'");
    }
    lastRecordLine_ = lineNumber;
    return TakeRecord(lineNumber, line, length);
}

bool HexParse::Finish() {
    if (endLine_ != 0 || lastRecordLine_ == 0) {
        return true;
    }
    return Refuse(lastRecordLine_,
                  "the file ends without an end-of-file record (type 01): it may "
                  "be cut short");
}

bool HexParse::TakeRecord(std::size_t lineNumber, const char* line, std::size_t length) {
    if (length < kShortestRecord) {
        return Refuse(lineNumber, FormatText("not an Intel HEX record: shorter than %d characters",
                                             static_cast<int>(kShortestRecord)));
    }
    // Every byte after the ':' up to the checksum that the count field asks for.
    uint8_t bytes[5 + 0xFF];
    const int countHigh = HexDigitValue(line[1]);
    const int countLow = HexDigitValue(line[2]);
    if ((countHigh | countLow) < 0) {
        return Refuse(lineNumber, "not an Intel HEX record: the count field is not hexadecimal");
    }
    const int count = countHigh << 4 | countLow;
    const std::size_t needed = kShortestRecord + 2 * static_cast<std::size_t>(count);
    // Spaces and tabs may trail a record; nothing else may.
    std::size_t used = length;
    while (used > needed && (line[used - 1] == ' ' || line[used - 1] == '\t')) {
        --used;
    }
    if (used != needed) {
        return Refuse(lineNumber,
                      FormatText("not an Intel HEX record: its count 0x%02X needs %llu characters, "
                                 "the line has %llu",
                                 count, static_cast<unsigned long long>(needed),
                                 static_cast<unsigned long long>(used)));
    }
    const int total = count + 5;
    unsigned sum = 0;
    for (int i = 0; i < total; ++i) {
        const int high = HexDigitValue(line[1 + 2 * i]);
        const int low = HexDigitValue(line[2 + 2 * i]);
        if ((high | low) < 0) {
            const char* name = i < 3           ? "address"
                               : i < 4         ? "type"
                               : i + 1 < total ? "data"
                                               : "checksum";
            return Refuse(
                lineNumber,
                FormatText("not an Intel HEX record: the %s field is not hexadecimal", name));
        }
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
        sum += bytes[i];
    }
    if ((sum & 0xFF) != 0) {
        return Refuse(lineNumber, FormatText("checksum mismatch: its bytes add up to 0x%02X, not "
                                             "0x00",
                                             sum & 0xFF));
    }
    const uint32_t field = static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
    const int type = bytes[3];
    const uint8_t* data = bytes + 4;
    if (type > kStartLinearAddress) {
        return Refuse(lineNumber, FormatText("unknown record type 0x%02X: only 00 to 05 are "
                                             "Intel HEX records",
                                             type));
    }
    if (type != kData && count != FixedDataBytes(type)) {
        return Refuse(lineNumber,
                      FormatText("not an Intel HEX record: type %02X carries %d data bytes, this "
                                 "one %d",
                                 type, FixedDataBytes(type), count));
    }
    ++read.units;
    switch (type) {
        case kData:
            break;
        case kEndOfFile:
            endLine_ = lineNumber;
            return true;
        case kExtendedSegmentAddress:
            base_ = static_cast<uint32_t>(data[0] << 8 | data[1]) << 4;
            return true;
        case kExtendedLinearAddress:
            base_ = static_cast<uint32_t>(data[0] << 8 | data[1]) << 16;
            return true;
        default:
            // Where execution starts is the board's business after the reboot, not the flash's.
            return true;
    }
    if (count == 0) {
        return true;
    }
    if (field + static_cast<uint32_t>(count) > kAddressFieldReach) {
        return Refuse(lineNumber,
                      FormatText("data runs past its address field: %d bytes at offset 0x%04X "
                                 "go beyond 0xFFFF",
                                 count, field));
    }
    const uint64_t address = uint64_t{base_} + field;
    const std::string outside = OutsideUserMat(address, static_cast<uint64_t>(count));
    if (!outside.empty()) {
        return Refuse(lineNumber, outside);
    }
    DataPiece& piece = read.pieces.emplace_back();
    piece.address = static_cast<uint32_t>(address);
    piece.bytes.assign(data, data + count);
    piece.origin = FormatText("line %llu", static_cast<unsigned long long>(lineNumber));
    return true;
}

bool HexParse::Refuse(std::size_t lineNumber, const std::string& why) {
    read.refusal = FormatText("line %llu: ", static_cast<unsigned long long>(lineNumber)) + why;
    return false;
}

// LF right behind CR ends the same line as the CR.
bool FollowsCrLf(const char* text, const char* piece) {
    return piece - text >= 2 && piece[-1] == '\n' && piece[-2] == '\r';
}

}  // namespace

PieceRead ReadIntelHex(const char* text, std::size_t size) {
    HexParse parse;
    std::size_t lineNumber = 0;
    bool accepted = true;
    ForEachPiece(text, size, "\r\n", [&](const char* line, std::size_t length) {
        if (!FollowsCrLf(text, line)) {
            ++lineNumber;
        }
        accepted = parse.TakeLine(lineNumber, line, length);
        return accepted;
    });
    accepted = accepted && parse.Finish();
    PieceRead read = std::move(parse.read);
    read.accepted = accepted;
    if (!accepted) {
        read.pieces.clear();
    }
    return read;
}
