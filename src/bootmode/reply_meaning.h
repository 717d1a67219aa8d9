// What the boot program's command bytes and error codes mean, in words for the operator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "device selection (0x10)" and the like; the byte alone for a command the host never sends.
const char* CommandName(uint8_t command);
// The meaning of the detail byte of an error reply ("device code error"), or null when the code
// is not one the boot program documents.
const char* ErrorMeaning(uint8_t code);

// Bytes as the operator reads them: "0x90 0x21", at most the first eight and then " ...".
std::string ByteList(const std::vector<uint8_t>& bytes);
// How the board answered the frame `sent`, in words: "no answer to device selection (0x10)",
// "device selection (0x10) was answered 0x90 0x21: device code error", or for a block "the block
// at 0x00000100 was answered 0x15".
std::string AnswerText(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& reply);
