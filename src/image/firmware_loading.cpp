// The loading of a firmware file into the reader, with the texts the operator knows.
#include "image/firmware_loading.h"

#include <cstdio>
#include <memory>
#include <new>

#include "image/firmware_file.h"
#include "image/whole_file.h"

namespace {

const wchar_t* ReadFailureText(WholeFileRead result) {
    switch (result) {
        case WholeFileRead::TooLarge:
            return L"Failed to load file : it is too large !\r\n";
        case WholeFileRead::ShortRead:
            return L"Failed to read file whole !\r\n";
        default:
            return L"Failed to open file !\r\n";
    }
}

LoadOutcome OutcomeOf(WholeFileRead result) {
    switch (result) {
        case WholeFileRead::TooLarge:
            return LoadOutcome::TooLarge;
        case WholeFileRead::ShortRead:
            return LoadOutcome::ShortRead;
        default:
            return LoadOutcome::NotOpened;
    }
}

void LogSummary(const LoadReports& reports, const SRECReader& reader) {
    wchar_t summary[512];
    std::swprintf(summary, sizeof(summary) / sizeof(summary[0]),
                  L"\r\nMOT/SRECORD information \r\n======================= \r\n"
                  L"  records count      = %d \r\n  binary codes/datas = %d bytes \r\n"
                  L"  address startes    = 0x%08X \r\n  address ends       = 0x%08X \r\n",
                  reader.GetRecordCount(), reader.GetDataByteCount(), reader.startAddress(),
                  reader.endAddress());
    reports.appendLog(summary);
}

}  // namespace

void LoadReports::Status(const wchar_t* text) const {
    if (setStatus != nullptr) {
        setStatus(text);
    }
}

void LoadReports::FileName(const wchar_t* text) const {
    if (setFileName != nullptr) {
        setFileName(text);
    }
}

LoadOutcome LoadFirmware(std::wstring path, const LoadReports& reports) {
    reports.clearLog();
    reports.appendLog((L"Loading file : " + path + L" ... ").c_str());

    std::unique_ptr<char[]> data;
    int32_t size = 0;
    const WholeFileRead read = ReadWholeFile(path, data, size);
    if (read != WholeFileRead::Ok) {
        reports.appendLog(ReadFailureText(read));
        g_firmwarePath.clear();
        return OutcomeOf(read);
    }
    g_fileData = std::move(data);
    g_fileSize = size;
    reports.appendLog(L"Ok.\r\n");
    reports.Status(L"File reading OK.");
    reports.appendLog(L"Parsing SRECORD ...");
    reports.Status(L"Parsing MOT(SRECORD format) file... ");

    if (g_srecReader == nullptr) {
        g_srecReader = new (std::nothrow) SRECReader();
        if (g_srecReader == nullptr) {
            reports.appendLog(L"ERROR : SRecord reader creation failure !\r\n");
            reports.Status(L"Error : Srecord module failure.");
            return LoadOutcome::NoReader;
        }
    }
    if (g_srecReader->Parse(g_fileData.get(), g_fileSize)) {
        reports.appendLog(L"Ok.\r\n");
        LogSummary(reports, *g_srecReader);
        reports.Status(L"Parsing completed. update is possible now.");
        return LoadOutcome::Loaded;
    }
    g_firmwarePath.clear();
    reports.FileName(L" ");
    reports.appendLog(L"Failed.\r\n");
    reports.Status(L"Parsing failed. update is impossible.");
    // Which line of the file stands in the way; an empty file has none.
    const char* refusal = g_srecReader->GetRefusal();
    if (refusal[0] == '\0') {
        return LoadOutcome::NotParsed;
    }
    reports.appendLogA(refusal);
    return LoadOutcome::Refused;
}
