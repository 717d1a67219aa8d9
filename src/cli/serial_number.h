// Each board's own serial number (--serial, --serial-format): where in its image it goes, the
// bytes it takes there, and the check that the loaded image leaves that place blank.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bootmode/firmware_image.h"

enum class SerialForm {
    BigEndian32,     // u32be: 4 bytes, most significant first, as the H8 stores a longword
    LittleEndian32,  // u32le
    Decimal          // ascii:N: N decimal digits, zero-padded
};

struct SerialLayout {
    uint32_t address = 0;
    SerialForm form = SerialForm::BigEndian32;
    int digits = 0;  // Decimal only: 1 to 10
};

// --serial-format's value: u32be, u32le or ascii:N with N from 1 to 10; false for anything else.
bool ParseSerialForm(const std::string& text, SerialLayout& layout);
// The bytes a number takes.
uint32_t SerialWidth(const SerialLayout& layout);
// The largest number the form can hold.
uint32_t LargestSerial(const SerialLayout& layout);
// Why the loaded image cannot take the numbers: their bytes reach past the user MAT, or the image
// holds data there (the line names the address and the bytes it holds). Empty when every byte of
// the place is blank: absent from the image, or 0xFF.
std::string SerialPlaceProblem(const FirmwareImage& image, const SerialLayout& layout);
// `number` as the board's flash holds it; it must not exceed LargestSerial.
std::vector<uint8_t> SerialBytes(const SerialLayout& layout, uint32_t number);
// The board's own image: the shared one with `number` at its place.
FirmwareImage ImageWithSerial(const FirmwareImage& image, const SerialLayout& layout,
                              uint32_t number);
// The user MAT's sum once the image is programmed into it (0xFF where it has no data), as the
// record's image_sum and the board's sum check give it.
uint32_t UserMatSum(const FirmwareImage& image);
