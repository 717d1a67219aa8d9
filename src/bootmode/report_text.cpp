// Delivery of the update module's reports.
#include "bootmode/report_text.h"

void Report(const std::function<void(const char*)>& sink, const std::string& text) {
    if (sink) {
        sink(text.c_str());
    }
}
