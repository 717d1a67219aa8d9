// Decoding of termios into line settings, and the UART rate tolerance.
#include "line_settings.h"

#include <termios.h>

#include <cmath>
#include <utility>

#include "event_log.h"

namespace {

// Largest relative rate difference at which one 10-bit frame is still sampled inside each bit.
constexpr double kRateTolerance = 0.03;

const std::pair<speed_t, int> kRates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

int BitRateOf(speed_t speed) {
    for (const auto& rate : kRates) {
        if (rate.first == speed) {
            return rate.second;
        }
    }
    return 0;
}

void AddIf(std::string* list, bool on, const char* name) {
    if (on) {
        if (!list->empty()) {
            *list += ' ';
        }
        *list += name;
    }
}

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

bool ReadLineSettings(int masterFd, LineSettings* settings) {
    termios t{};
    if (tcgetattr(masterFd, &t) != 0) {
        return false;
    }
    LineSettings s;
    s.bitRate = BitRateOf(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if ((t.c_cflag & PARENB) == 0) {
        s.parity = 'N';
    } else if ((t.c_cflag & CMSPAR) != 0) {
        s.parity = (t.c_cflag & PARODD) != 0 ? 'M' : 'S';
    } else {
        s.parity = (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
    }
    s.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    s.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    s.xonXoffOutput = (t.c_iflag & IXON) != 0;
    s.xonXoffInput = (t.c_iflag & IXOFF) != 0;
    // Each of these changes or swallows bytes between the line and the host's program.
    AddIf(&s.cooked, (t.c_lflag & ICANON) != 0, "ICANON");
    AddIf(&s.cooked, (t.c_lflag & ECHO) != 0, "ECHO");
    AddIf(&s.cooked, (t.c_lflag & ISIG) != 0, "ISIG");
    AddIf(&s.cooked, (t.c_lflag & IEXTEN) != 0, "IEXTEN");
    AddIf(&s.cooked, (t.c_oflag & OPOST) != 0, "OPOST");
    AddIf(&s.cooked, (t.c_iflag & ICRNL) != 0, "ICRNL");
    AddIf(&s.cooked, (t.c_iflag & INLCR) != 0, "INLCR");
    AddIf(&s.cooked, (t.c_iflag & IGNCR) != 0, "IGNCR");
    AddIf(&s.cooked, (t.c_iflag & ISTRIP) != 0, "ISTRIP");
    *settings = s;
    return true;
}

bool RatesAgree(double hostRate, double mcuRate) {
    return hostRate > 0 && mcuRate > 0 && std::fabs(hostRate - mcuRate) <= kRateTolerance * mcuRate;
}
