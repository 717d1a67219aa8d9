// How the update module's texts leave it: formatted, and through sinks that may be absent.
#pragma once

#include <functional>
#include <string>

#include "image/formatted_text.h"

// Hands `text` to `sink`; an empty sink drops the report.
void Report(const std::function<void(const char*)>& sink, const std::string& text);
