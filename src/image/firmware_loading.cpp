// The loading of a firmware file into the reader, with the texts the operator knows.
#include "image/firmware_loading.h"

#include <cstdio>
#include <memory>
#include <new>

#include "image/firmware_file.h"
#include "image/whole_file.h"

namespace {

void Log(const LoadReports& reports, const wchar_t* text) {
    if (reports.appendLog != nullptr) {
        reports.appendLog(text);
    }
}

void Status(const LoadReports& reports, const wchar_t* text) {
    if (reports.setStatus != nullptr) {
        reports.setStatus(text);
    }
}

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
    Log(reports, summary);
}

}  // namespace

LoadOutcome LoadFirmware(std::wstring path, const LoadReports& reports) {
    if (reports.clearLog != nullptr) {
        reports.clearLog();
    }
    Log(reports, (L"Loading file : " + path + L" ... ").c_str());

    std::unique_ptr<char[]> data;
    int32_t size = 0;
    const WholeFileRead read = ReadWholeFile(path, data, size);
    if (read != WholeFileRead::Ok) {
        Log(reports, ReadFailureText(read));
        g_firmwarePath.clear();
        return OutcomeOf(read);
    }
    g_fileData = std::move(data);
    g_fileSize = size;
    Log(reports, L"Ok.\r\n");
    Status(reports, L"File reading OK.");
    Log(reports, L"Parsing SRECORD ...");
    Status(reports, L"Parsing MOT(SRECORD format) file... ");

    if (g_srecReader == nullptr) {
        g_srecReader = new (std::nothrow) SRECReader();
        if (g_srecReader == nullptr) {
            Log(reports, L"ERROR : SRecord reader creation failure !\r\n");
            Status(reports, L"Error : Srecord module failure.");
            return LoadOutcome::NoReader;
        }
    }
    if (g_srecReader->Parse(g_fileData.get(), g_fileSize)) {
        Log(reports, L"Ok.\r\n");
        LogSummary(reports, *g_srecReader);
        Status(reports, L"Parsing completed. update is possible now.");
        return LoadOutcome::Loaded;
    }
    g_firmwarePath.clear();
    if (reports.setFileName != nullptr) {
        reports.setFileName(L" ");
    }
    Log(reports, L"Failed.\r\n");
    Status(reports, L"Parsing failed. update is impossible.");
    // Which line of the file stands in the way; an empty file has none.
    const char* refusal = g_srecReader->GetRefusal();
    if (refusal[0] == '\0') {
        return LoadOutcome::NotParsed;
    }
    if (reports.appendLogA != nullptr) {
        reports.appendLogA(refusal);
    }
    return LoadOutcome::Refused;
}
