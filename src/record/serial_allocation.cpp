// Serial numbers go on after the highest recorded at their address; --serial-start begins them
// and may move them ahead, never back onto a number already handed out.
#include "record/serial_allocation.h"

#include <cstdio>

namespace {

std::string AddressText(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(address));
    return text;
}

}  // namespace

std::string NextSerial(const SerialRequest& request, std::optional<int64_t> highest,
                       uint32_t& next) {
    if (!highest) {
        if (!request.start) {
            return "no serial number is recorded at " + AddressText(request.address) +
                   " yet: give the first with --serial-start";
        }
        next = *request.start;
        return std::string();
    }
    if (*highest >= static_cast<int64_t>(UINT32_MAX)) {
        return "the serial numbers at " + AddressText(request.address) +
               " are used up: the highest recorded is " + std::to_string(*highest);
    }
    const int64_t following = *highest + 1;
    next = request.start && *request.start > following ? *request.start
                                                       : static_cast<uint32_t>(following);
    return std::string();
}
