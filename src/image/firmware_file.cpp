// The process-wide state of the loaded firmware file.
#include "image/firmware_file.h"

std::wstring g_firmwarePath;
std::unique_ptr<char[]> g_fileData;
int32_t g_fileSize = 0;
SRECReader* g_srecReader = nullptr;
