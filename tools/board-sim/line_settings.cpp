// Comparison and JSON form of line settings, and the UART rate tolerance.
#include "line_settings.h"

#include <cmath>

#include "event_log.h"

namespace board_sim {

namespace {

// Largest relative rate difference at which one 10-bit frame is still sampled inside each bit.
constexpr double kRateTolerance = 0.03;

}  // namespace

bool LineSettings::operator==(const LineSettings& other) const {
    return bitRate == other.bitRate && dataBits == other.dataBits && parity == other.parity &&
           stopBits == other.stopBits && rtsCts == other.rtsCts &&
           xonXoffOutput == other.xonXoffOutput && xonXoffInput == other.xonXoffInput &&
           cooked == other.cooked;
}

std::string LineSettings::ToJson() const {
    std::string json = "{\"bit_rate\":" + std::to_string(bitRate) +
                       ",\"data_bits\":" + std::to_string(dataBits) + ",\"parity\":\"" + parity +
                       "\",\"stop_bits\":" + std::to_string(stopBits) +
                       ",\"rts_cts\":" + (rtsCts ? "true" : "false") +
                       ",\"ixon\":" + (xonXoffOutput ? "true" : "false") +
                       ",\"ixoff\":" + (xonXoffInput ? "true" : "false") +
                       ",\"cooked\":" + JsonQuoted(cooked) + "}";
    return json;
}

bool RatesAgree(double hostRate, double mcuRate) {
    return hostRate > 0 && mcuRate > 0 && std::fabs(hostRate - mcuRate) <= kRateTolerance * mcuRate;
}

}  // namespace board_sim
