// The steps' headers, in the design's words.
#include "update/step_headers.h"

#include <cwchar>

namespace {

std::wstring WithRate(const wchar_t* format, int bitRate) {
    wchar_t text[64];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), format, bitRate);
    return text;
}

}  // namespace

std::wstring StepHeader(Step step, int bitRate) {
    switch (step) {
        case Step::ConnectTest:
            return L"[01] CONNECT TEST : ";
        case Step::BootMode:
            return L"[02] BOOT MODE\r\n";
        case Step::Approval:
            return L"[03] APPORVAL \r\n";
        case Step::SupportModeCheck:
            return L"[04] SUPPORT MODE CHECK\r\n";
        case Step::ProgrammingModeInquiry:
            return L"[05] PROGRAMMING MODE INQ.\r\n";
        case Step::DeviceSelection:
            return L"[06] DEVICE SELECTION.\r\n";
        case Step::ClockModeSet:
            return L"[07] CLOCK MODE SET.\r\n";
        case Step::ChangingBitRate:
            return WithRate(L"[08] CHANGING BPS : %d \r\n", bitRate);
        case Step::ConfirmBitRate:
            return WithRate(L"[09] CONFIRM BPS : %d \r\n", bitRate);
        case Step::ProgrammingMode:
            return L"[10] SET TO PROGRAMMING MODE \r\n";
        case Step::Programming:
            return L"[11] PROGRAMMING\r\n";
        case Step::Rebooting:
            return L"[12] REBOOTING\r\n";
        case Step::None:
            break;
    }
    return std::wstring();
}
