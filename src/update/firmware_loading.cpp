// The loading of a firmware file into the reader, with the texts the operator knows.
#include "update/firmware_loading.h"

#include <cstdio>
#include <memory>
#include <new>

#include "image/whole_file.h"
#include "update/operator.h"

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
        case WholeFileRead::Directory:
            return LoadOutcome::Directory;
        default:
            return LoadOutcome::NotOpened;
    }
}

void LogSummary(Operator& reports, const SRECReader& reader) {
    wchar_t summary[512];
    std::swprintf(summary, sizeof(summary) / sizeof(summary[0]),
                  L"\r\nMOT/SRECORD information \r\n======================= \r\n"
                  L"  records count      = %d \r\n  binary codes/datas = %d bytes \r\n"
                  L"  address startes    = 0x%08X \r\n  address ends       = 0x%08X \r\n",
                  reader.GetRecordCount(), reader.GetDataByteCount(), reader.startAddress(),
                  reader.endAddress());
    reports.AppendLog(summary);
}

}  // namespace

LoadOutcome LoadFirmware(const std::wstring& path, const FirmwareStore& store, Operator& reports) {
    const LoadOutcome read = ReadFirmwareFile(path, store, reports);
    return read == LoadOutcome::Loaded ? ParseFirmwareFile(store, reports) : read;
}

LoadOutcome ReadFirmwareFile(const std::wstring& path, const FirmwareStore& store,
                             Operator& reports) {
    reports.ClearLog();
    reports.AppendLog((L"Loading file : " + path + L" ... ").c_str());

    std::unique_ptr<char[]> data;
    int32_t size = 0;
    const WholeFileRead read = ReadWholeFile(path, data, size);
    if (read != WholeFileRead::Ok) {
        reports.AppendLog(ReadFailureText(read));
        return OutcomeOf(read);
    }
    store.fileData = std::move(data);
    store.fileSize = size;
    reports.AppendLog(L"Ok.\r\n");
    reports.SetStatusText(L"File reading OK.");
    return LoadOutcome::Loaded;
}

LoadOutcome ParseFirmwareFile(const FirmwareStore& store, Operator& reports) {
    reports.AppendLog(L"Parsing SRECORD ...");
    reports.SetStatusText(L"Parsing MOT(SRECORD format) file... ");

    if (!store.reader) {
        store.reader.reset(new (std::nothrow) SRECReader());
        if (!store.reader) {
            reports.AppendLog(L"ERROR : SRecord reader creation failure !\r\n");
            reports.SetStatusText(L"Error : Srecord module failure.");
            return LoadOutcome::NoReader;
        }
    }
    if (store.reader->Parse(store.fileData.get(), store.fileSize)) {
        reports.AppendLog(L"Ok.\r\n");
        LogSummary(reports, *store.reader);
        reports.SetStatusText(L"Parsing completed. update is possible now.");
        return LoadOutcome::Loaded;
    }
    reports.SetFileName(L" ");
    reports.AppendLog(L"Failed.\r\n");
    reports.SetStatusText(L"Parsing failed. update is impossible.");
    // Which line of the file stands in the way; an empty file has none.
    const char* refusal = store.reader->GetRefusal();
    if (refusal[0] == '\0') {
        return LoadOutcome::NotParsed;
    }
    reports.AppendLogA(refusal);
    return LoadOutcome::Refused;
}
