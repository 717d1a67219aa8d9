// The host's line settings as its port shows them, and when a byte crosses the line.
#pragma once

#include <string>

namespace board_sim {

struct LineSettings {
    int bitRate = 0;  // bits per second, exactly as the host set it (also without a Bnnn constant)
    int dataBits = 8;
    char parity = 'N';  // N, E, O, or M / S for stick parity
    int stopBits = 1;
    bool rtsCts = false;         // CRTSCTS
    bool xonXoffOutput = false;  // IXON: the host's driver swallows XON/XOFF from the MCU
    bool xonXoffInput = false;   // IXOFF
    // Line-discipline processing left on (e.g. "ICANON ECHO"); empty when the line is raw.
    std::string cooked;

    bool operator==(const LineSettings& other) const;
    bool operator!=(const LineSettings& other) const { return !(*this == other); }

    // The boot program's frame: 8 data bits, no parity, one stop bit.
    bool IsEightNoneOne() const { return dataBits == 8 && parity == 'N' && stopBits == 1; }
    bool HasFlowControl() const { return rtsCts || xonXoffOutput || xonXoffInput; }
    std::string ToJson() const;
};

// Whether two UARTs at these rates understand each other (the receiver samples mid-bit, so a few
// percent of difference over one 10-bit frame still lands inside each bit).
bool RatesAgree(double hostRate, double mcuRate);

}  // namespace board_sim
