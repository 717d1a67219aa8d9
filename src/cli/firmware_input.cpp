// Loading a firmware file of any format that velmora-cli takes into its image.
#include "cli/firmware_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/data_piece.h"
#include "image/srec_reader.h"
#include "serial/text_conversion.h"
#include "update/firmware_loading.h"
#include "update/operator.h"

namespace {

// The reader's refusal without its "ERROR : " and its line end.
std::string RefusalOf(const SRECReader& reader) {
    std::string refusal = reader.GetRefusal();
    const std::string prefix = "ERROR : ";
    if (refusal.compare(0, prefix.size(), prefix) == 0) {
        refusal.erase(0, prefix.size());
    }
    while (!refusal.empty() && (refusal.back() == '\r' || refusal.back() == '\n')) {
        refusal.pop_back();
    }
    return refusal;
}

// The load's one line for an outcome other than Loaded.
std::string LoadFailure(LoadOutcome outcome, const SRECReader* reader, const std::string& file) {
    switch (outcome) {
        case LoadOutcome::NotOpened:
            return file + ": cannot be opened: no such file, or not readable";
        case LoadOutcome::Directory:
            return file + ": is a directory, not a firmware file";
        case LoadOutcome::TooLarge:
            return file + ": too large to load";
        case LoadOutcome::ShortRead:
            return file + ": cannot be read whole";
        case LoadOutcome::NoReader:
            return file + ": no memory for the S-record reader";
        case LoadOutcome::NotParsed:
            // The reader takes every file but an empty one, unless memory runs out.
            return file + ": too large to parse: memory ran out";
        case LoadOutcome::Refused:
            return file + ": refused: " + RefusalOf(*reader);
        default:
            return std::string();
    }
}

// Why a file gives the flash nothing, with what to do where its bytes tell what it is.
std::string NothingToProgram(const std::string& file, const char* data, std::size_t size,
                             const std::string& found) {
    if (size == 0) {
        return file + ": empty: nothing to program";
    }
    switch (LooksLike(data, size)) {
        case Appearance::CoffObject:
            return file +
                   ": a COFF object file for the H8, which velmora-cli does not read: "
                   "convert it to S-records with objcopy -O srec";
        case Appearance::Binary:
            return file + ": not text, and " + found +
                   ": for a raw binary give --format bin --offset ADDR (where its first byte "
                   "goes), or convert an object file to S-records with objcopy -O srec";
        case Appearance::Text:
            break;
    }
    return file + ": " + found + ": nothing to program";
}

// A refusal found after the reader took the file: logged as the reader's are.
std::string Refuse(const std::string& file, const std::string& why, Operator& reports) {
    reports.SetStatusText(L"Parsing failed. update is impossible.");
    reports.AppendLogA(("ERROR : " + why + "\r\n").c_str());
    return file + ": refused: " + why;
}

// The S-record summary's shape for the pieces of another format.
void LogPiecesSummary(FirmwareFormat format, const PieceRead& read, Operator& reports) {
    uint64_t first = UINT64_MAX;
    uint64_t last = 0;
    uint64_t bytes = 0;
    for (const DataPiece& piece : read.pieces) {
        first = std::min<uint64_t>(first, piece.address);
        last = std::max<uint64_t>(last, piece.address + piece.bytes.size() - 1);
        bytes += piece.bytes.size();
    }
    const std::string title = std::string(FormatTitle(format)) + " information";
    std::string summary = "\r\n" + title + " \r\n" + std::string(title.size(), '=') + " \r\n";
    char line[256];
    if (format != FirmwareFormat::Binary) {
        std::snprintf(line, sizeof(line), "  %-19s= %d \r\n",
                      format == FirmwareFormat::Elf ? "segments count" : "records count",
                      read.units);
        summary += line;
    }
    std::snprintf(line, sizeof(line),
                  "  binary codes/datas = %llu bytes \r\n  address startes    = 0x%08llX \r\n"
                  "  address ends       = 0x%08llX \r\n",
                  static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(first),
                  static_cast<unsigned long long>(last));
    summary += line;
    reports.AppendLogA(summary.c_str());
}

// Reads the file's bytes with the format's reader and lays its pieces into the image.
std::string ParsePieces(const std::string& file, FirmwareFormat format, uint32_t offset,
                        const char* data, std::size_t size,
                        std::shared_ptr<const FirmwareImage>& image, Operator& reports) {
    const std::string title = FormatTitle(format);
    reports.AppendLogA(("Parsing " + title + " ...").c_str());
    reports.SetStatusTextA(("Parsing " + title + " file... ").c_str());
    const PieceRead read = ReadPieces(format, data, size, offset);
    if (!read.accepted) {
        reports.AppendLog(L"Failed.\r\n");
        return Refuse(file, read.refusal, reports);
    }
    if (read.pieces.empty()) {
        reports.AppendLog(L"Ok.\r\n");
        return size == 0 ? file + ": empty: nothing to program"
                         : file + ": holds no " + title + " data: nothing to program";
    }
    const std::string overlap = DifferingOverlap(read.pieces);
    if (!overlap.empty()) {
        reports.AppendLog(L"Failed.\r\n");
        return Refuse(file, overlap, reports);
    }
    image = std::make_shared<const FirmwareImage>(LayFirmwareImage(read.pieces));
    reports.AppendLog(L"Ok.\r\n");
    LogPiecesSummary(format, read, reports);
    reports.SetStatusText(L"Parsing completed. update is possible now.");
    return std::string();
}

}  // namespace

bool ParseOffset(const std::string& text, uint32_t& offset) {
    const bool hexadecimal =
        text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hexadecimal ? text.substr(2) : text;
    const std::string allowed = hexadecimal ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) {
        return false;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hexadecimal ? 16 : 10);
    if (errno == ERANGE || value > UINT32_MAX) {
        return false;
    }
    offset = static_cast<uint32_t>(value);
    return true;
}

std::string LoadInput(const std::string& file, const InputRequest& request,
                      std::shared_ptr<const FirmwareImage>& image, Operator& reports) {
    // Kept only while loading: the image is what the run needs.
    std::unique_ptr<char[]> fileData;
    int32_t fileSize = 0;
    std::unique_ptr<SRECReader> reader;
    const FirmwareStore store = {fileData, fileSize, reader};
    const LoadOutcome read = ReadFirmwareFile(WideFromUtf8(file), store, reports);
    if (read != LoadOutcome::Loaded) {
        return LoadFailure(read, nullptr, file);
    }
    const bool text = !request.format || *request.format == FirmwareFormat::SRecord ||
                      *request.format == FirmwareFormat::IntelHex;
    const std::size_t mark =
        text ? ByteOrderMarkLength(fileData.get(), static_cast<std::size_t>(fileSize)) : 0;
    if (mark > 0) {
        // Editors on Windows begin a text with it; the readers take the lines after it.
        std::memmove(fileData.get(), fileData.get() + mark, fileSize - mark);
        fileSize -= static_cast<int32_t>(mark);
    }
    const std::size_t size = static_cast<std::size_t>(fileSize);
    const FirmwareFormat format = request.format.value_or(DetectFormat(fileData.get(), size));
    if (format != FirmwareFormat::SRecord) {
        return ParsePieces(file, format, request.offset, fileData.get(), size, image, reports);
    }
    const LoadOutcome parsed = ParseFirmwareFile(store, reports);
    if (parsed == LoadOutcome::NotParsed && size == 0) {
        return NothingToProgram(file, fileData.get(), size, std::string());
    }
    if (parsed != LoadOutcome::Loaded) {
        return LoadFailure(parsed, reader.get(), file);
    }
    // The window takes such a file as loaded; a write would erase the board for nothing.
    if (!HoldsFirmwareData(*reader)) {
        return NothingToProgram(file, fileData.get(), size, "holds no S1/S2/S3 data record");
    }
    // The window lays later records over earlier ones; velmora-cli does not guess which is meant.
    const std::vector<DataPiece> pieces = reader->DataPieces();
    const std::string overlap = DifferingOverlap(pieces);
    if (!overlap.empty()) {
        return Refuse(file, overlap, reports);
    }
    // Cut at a line's end, a file still loads, programs and passes its sum check.
    const std::string unterminated = UnterminatedRecords(*reader);
    if (!unterminated.empty() && !request.allowUnterminated) {
        return Refuse(file, unterminated + " (--allow-unterminated takes one made by hand)",
                      reports);
    }
    image = std::make_shared<const FirmwareImage>(
        LayFirmwareImage(pieces, reader->startAddress(), reader->endAddress()));
    return std::string();
}
