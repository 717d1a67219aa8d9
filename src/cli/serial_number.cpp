// Serial numbers laid into a board's copy of the image.
#include "cli/serial_number.h"

#include <cstdlib>

#include "image/formatted_text.h"
#include "image/user_mat.h"

namespace {

const int kLargestDigits = 10;  // 4294967295 has ten
const uint8_t kBlankByte = 0xFF;

}  // namespace

bool ParseSerialForm(const std::string& text, SerialLayout& layout) {
    if (text == "u32be" || text == "u32le") {
        layout.form = text == "u32be" ? SerialForm::BigEndian32 : SerialForm::LittleEndian32;
        layout.digits = 0;
        return true;
    }
    const std::string prefix = "ascii:";
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string count = text.substr(prefix.size());
    if (count.empty() || count.size() > 2 || count.find_first_not_of("0123456789") != count.npos) {
        return false;
    }
    const int digits = std::atoi(count.c_str());
    if (digits < 1 || digits > kLargestDigits) {
        return false;
    }
    layout.form = SerialForm::Decimal;
    layout.digits = digits;
    return true;
}

uint32_t SerialWidth(const SerialLayout& layout) {
    return layout.form == SerialForm::Decimal ? static_cast<uint32_t>(layout.digits) : 4;
}

uint32_t LargestSerial(const SerialLayout& layout) {
    if (layout.form != SerialForm::Decimal || layout.digits >= kLargestDigits) {
        return UINT32_MAX;
    }
    uint32_t largest = 1;
    for (int i = 0; i < layout.digits; ++i) {
        largest *= 10;
    }
    return largest - 1;
}

std::string SerialPlaceProblem(const FirmwareImage& image, const SerialLayout& layout) {
    const uint64_t end = uint64_t{layout.address} + SerialWidth(layout);
    if (end > kUserMatBytes) {
        return FormatText(
            "--serial 0x%08X: the number's %u bytes reach past the user MAT (0x00000000 - "
            "0x%08X)",
            layout.address, SerialWidth(layout), kUserMatBytes - 1);
    }
    std::string held;
    bool blank = true;
    for (uint64_t address = layout.address; address < end; ++address) {
        const uint8_t byte = address < image.bytes.size() ? image.bytes[address] : kBlankByte;
        blank = blank && byte == kBlankByte;
        held += FormatText(held.empty() ? "0x%02X" : " 0x%02X", byte);
    }
    if (blank) {
        return std::string();
    }
    return FormatText("--serial 0x%08X: the image holds ", layout.address) + held +
           " there, not blank flash (0xFF): the number would overwrite its data";
}

std::vector<uint8_t> SerialBytes(const SerialLayout& layout, uint32_t number) {
    switch (layout.form) {
        case SerialForm::BigEndian32:
            return {static_cast<uint8_t>(number >> 24), static_cast<uint8_t>(number >> 16),
                    static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
        case SerialForm::LittleEndian32:
            return {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                    static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        case SerialForm::Decimal:
            break;
    }
    const std::string text = FormatText("%0*u", layout.digits, static_cast<unsigned>(number));
    return std::vector<uint8_t>(text.begin(), text.end());
}

FirmwareImage ImageWithSerial(const FirmwareImage& image, const SerialLayout& layout,
                              uint32_t number) {
    return WithBytesAt(image, layout.address, SerialBytes(layout, number));
}

uint32_t UserMatSum(const FirmwareImage& image) {
    return FlashSum(image, {{0, kUserMatBytes - 1}});
}
