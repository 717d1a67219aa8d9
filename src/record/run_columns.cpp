// The column list and image_sum's form.
#include "record/run_columns.h"

#include <cstdio>
#include <cstdlib>

const char kRunColumns[] =
    "id, started_at, station, port, adapter, firmware, firmware_sha256, image_sum, "
    "serial_address, serial, bit_rate, ok, exit_code, step, message, seconds, velmora_version";

std::string ImageSumText(uint32_t sum) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(sum));
    return text;
}

uint32_t ImageSumValue(const std::string& text) {
    if (text.size() != 10 || text.compare(0, 2, "0x") != 0) {
        return 0;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str() + 2, &end, 16);
    return *end == '\0' ? static_cast<uint32_t>(value) : 0;
}
