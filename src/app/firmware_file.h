// The window's loaded firmware: its path, its raw bytes and the reader that parsed them. Written
// by the browse command on the main thread, handed to the update run while the controls are
// disabled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/srec_reader.h"
#include "update/firmware_loading.h"

// Upper-case path of the loaded file; empty means that no firmware is loaded.
extern std::wstring g_firmwarePath;
// The bytes of the last file opened, and their count.
extern std::unique_ptr<char[]> g_fileData;
extern int32_t g_fileSize;
// Created at the first successful read and refilled by every later load.
extern std::unique_ptr<SRECReader> g_srecReader;

// The three above, as a load fills them.
FirmwareStore WindowFirmwareStore();
