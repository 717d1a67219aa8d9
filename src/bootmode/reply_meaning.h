// What the boot program's command bytes and error codes mean, in words for the operator.
#pragma once

#include <cstdint>

// "device selection (0x10)" and the like; the byte alone for a command the host never sends.
const char* CommandName(uint8_t command);
// The meaning of the detail byte of an error reply ("device code error"), or null when the code
// is not one the boot program documents.
const char* ErrorMeaning(uint8_t code);
