// Whether two names reach one file, so that --log never writes over an input of the run.
#pragma once

#include <string>

// Both names (UTF-8) lead to one existing file: the same device and inode on Linux, the same
// volume and file index on Windows, whatever links or spellings lead there. False when either
// does not exist.
bool SameFile(const std::string& first, const std::string& second);
