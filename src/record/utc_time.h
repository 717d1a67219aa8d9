// The time a run starts, as the record writes it.
#pragma once

#include <chrono>
#include <string>

// `when` in UTC, ISO 8601 to the second: 2026-03-06T16:01:44Z.
std::string UtcTimestamp(std::chrono::system_clock::time_point when);
