// Text from the command line (UTF-8) turned into the core's wide paths and names.
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
