// The log pane's busy byte: set while AppendLog writes, so a second append meeting it is dropped.
#pragma once

#include <atomic>

extern std::atomic<unsigned char> g_logBusy;
