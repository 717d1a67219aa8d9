// Serial ports on Windows: the NT device-name list, or probing COM1..COM255 on other platforms.
#include "serial/serial_ports_win32.h"

#include <windows.h>

#include <string>

#include "serial/serial_ports.h"

namespace {

// Enough for an ordinary machine; one with a large device namespace doubles it until its list fits,
// within a ceiling that keeps a failing query from taking all memory.
const size_t kDeviceListUnits = 65535;
const size_t kMaxDeviceListUnits = size_t(16) * 1024 * 1024;

std::vector<uint8_t> ProbePorts() {
    std::vector<uint8_t> numbers;
    for (int i = 1; i <= 255 && numbers.size() < kMaxComPorts; ++i) {
        wchar_t path[40] = {};
        wsprintfW(path, L"\\\\.\\COM%d", i);
        HANDLE port =
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        bool exists = port != INVALID_HANDLE_VALUE;
        if (exists) {
            CloseHandle(port);
        } else {
            // The port exists but is in use or not ready.
            DWORD error = GetLastError();
            exists = error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE;
        }
        if (exists) {
            numbers.push_back(static_cast<uint8_t>(i));
        }
    }
    return numbers;
}

}  // namespace

std::vector<wchar_t> QueryDeviceNames(size_t startUnits, size_t maxUnits) {
    for (size_t units = startUnits > 0 ? startUnits : 1; units <= maxUnits; units *= 2) {
        std::vector<wchar_t> names(units, L'\0');
        DWORD stored = QueryDosDeviceW(NULL, names.data(), static_cast<DWORD>(units));
        if (stored != 0) {
            names.resize(stored);
            return names;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
    }
    return std::vector<wchar_t>();
}

std::vector<uint8_t> FindComPortNumbers() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        const std::vector<wchar_t> names = QueryDeviceNames(kDeviceListUnits, kMaxDeviceListUnits);
        return ComPortNumbers(names.data(), names.size());
    }
    return ProbePorts();
}

std::vector<SerialPortName> ListSerialPorts(const std::string&) {
    std::vector<SerialPortName> ports;
    for (uint8_t number : FindComPortNumbers()) {
        ports.push_back({"COM" + std::to_string(number), "", UsbIdentity()});
    }
    return ports;
}
