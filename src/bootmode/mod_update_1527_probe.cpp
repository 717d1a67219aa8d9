// ModUpdate1527's quiet look for a board: a reset into boot mode and a few matching bytes, for a
// station that programs board after board and must know when one is put in and taken out.
#include "bootmode/boot_protocol.h"
#include "bootmode/mod_update_1527.h"
#include "serial/serial_link.h"

BoardPresence ModUpdate1527::Probe(const char* name) {
    Begin(Step::ConnectTest);
    connected = true;
    portName = name != nullptr ? name : "";
    // Between runs the module reports to nobody; a probe keeps it so whoever watches.
    ModuleReports* const watching = reports_;
    reports_ = &nobody_;
    BoardPresence presence = BoardPresence::Silent;
    // The reset opening: a programmed board that runs its firmware is back in its boot program.
    if (OpenPort(kResetBitRate) != RS232COpenResult::PortOpened) {
        FailOpening("the port cannot be opened");
        presence = BoardPresence::Unusable;
    } else if (WaitPortReady(kReadyPolls)) {
        port->Close();
        if (OpenPort(kMatchingBitRate) != RS232COpenResult::PortOpened) {
            FailOpening("the port did not come back after the reset");
            presence = BoardPresence::Unusable;
        } else if (WaitPortReady(kReadyPolls) && Pause(kSettleAfterOpenDelay)) {
            for (int sent = 0; sent < kProbeMatchingBytes && !Interrupted(); ++sent) {
                const std::vector<uint8_t> reply =
                    Transact(kMatchingByte, kMatchingDelay, kSendLimit, ReplyShape::Byte);
                if (StartsWith(reply, kMatchingByte)) {
                    presence = BoardPresence::Answered;
                    break;
                }
                if (pause.Holds(PauseStop::LinkLost)) {
                    break;
                }
            }
        }
    }
    port->Close();
    received.Clear();
    reports_ = watching;
    return presence;
}
