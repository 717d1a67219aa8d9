// Reads the host's line settings through the kernel's termios2, which holds any bit rate exactly.
// <termios.h> stays out of this file: its struct termios collides with the kernel's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "pty_port.h"

namespace board_sim {

namespace {

void AddIf(std::string* list, bool on, const char* name) {
    if (on) {
        if (!list->empty()) {
            *list += ' ';
        }
        *list += name;
    }
}

}  // namespace

bool ReadLineSettings(int masterFd, LineSettings* settings) {
    termios2 t{};
    if (ioctl(masterFd, TCGETS2, &t) != 0) {
        return false;
    }
    LineSettings s;
    // The kernel fills c_ospeed for a Bnnn constant too, so every rate reads the same way.
    s.bitRate = static_cast<int>(t.c_ospeed);
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

}  // namespace board_sim
