// The walk over the system's device names that finds the COM ports, free of system calls.
#include "serial/serial_ports.h"

#include <cwchar>

std::vector<uint8_t> ComPortNumbers(const wchar_t* names, size_t length) {
    std::vector<uint8_t> numbers;
    size_t position = 0;
    while (position < length && names[position] != L'\0' && numbers.size() < kMaxComPorts) {
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
                numbers.push_back(static_cast<uint8_t>(number));
            }
        }
        position += nameLength + 1;
    }
    return numbers;
}
