// Finds COM port numbers in a list of device names.
#include "serial/com_port_names.h"

#include <cwchar>

void CollectComPortNumbers(const wchar_t* names, size_t length, uint8_t* numbers, uint8_t& count) {
    size_t position = 0;
    while (position < length && names[position] != L'\0' && count < kMaxComPorts) {
        const wchar_t* name = names + position;
        size_t nameLength = 0;
        while (position + nameLength < length && name[nameLength] != L'\0') {
            ++nameLength;
        }
        if (position + nameLength == length) {
            break;  // the last name has no terminator inside the list: ignore it
        }
        if (nameLength > 3 && name[0] == L'C' && name[1] == L'O' && name[2] == L'M') {
            // Leading decimal digits after "COM", as the C runtime's _wtoi reads them.
            long number = std::wcstol(name + 3, nullptr, 10);
            if (number >= 1 && number <= 255) {
                numbers[count] = static_cast<uint8_t>(number);
                ++count;
            }
        }
        position += nameLength + 1;
    }
}
