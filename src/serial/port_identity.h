// Whether two port names reach one device, so that a run is not handed one board twice.
#pragma once

#include <string>

// Linux: the device that each name leads to (a symlink, a /dev/serial/by-id name, the same path
// written twice); names that lead nowhere only by their text. Windows: the COM name, whatever its
// case and with or without the device namespace's \\.\ before it.
bool SamePort(const std::string& first, const std::string& second);
