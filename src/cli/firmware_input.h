// velmora-cli's loading of a firmware file in any format it takes: S-records as the window loads
// them, Intel HEX, ELF and binary files through their readers, the refusal of overlapping data that
// differs and of S-records that look cut short, and the one image that every format's data is
// laid into.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bootmode/firmware_image.h"
#include "image/firmware_format.h"

class Operator;

// What --format and --offset ask for.
struct InputRequest {
    std::optional<FirmwareFormat> format;  // none: told by the file's content
    uint32_t offset = 0;                   // where a binary file's first byte goes
    bool allowUnterminated = false;        // S-records may end without a count or termination
};

// --offset's value: decimal, or hexadecimal after 0x, up to 0xFFFFFFFF; false for anything else.
bool ParseOffset(const std::string& text, uint32_t& offset);

// Loads `file` (UTF-8, shown as given) and lays its image into `image`, which the run, --verify
// and info read whatever the file's format, logging as the window's load does, with a summary of
// the same shape for the other formats. The one line for standard error when the file cannot be
// programmed (missing, unreadable, refused, or without data); empty when it can.
std::string LoadInput(const std::string& file, const InputRequest& request,
                      std::shared_ptr<const FirmwareImage>& image, Operator& reports);
