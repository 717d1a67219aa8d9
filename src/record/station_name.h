// The station a record's row names: the machine's host name.
#pragma once

#include <string>

// UTF-8; "unknown" when the system does not tell.
std::string StationName();
