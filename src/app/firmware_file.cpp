// The window's state of the loaded firmware file.
#include "app/firmware_file.h"

std::wstring g_firmwarePath;
std::unique_ptr<char[]> g_fileData;
int32_t g_fileSize = 0;
std::unique_ptr<SRECReader> g_srecReader;

FirmwareStore WindowFirmwareStore() {
    return FirmwareStore{g_fileData, g_fileSize, g_srecReader};
}
