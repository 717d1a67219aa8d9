// The H8SX/1520R boot-mode update module: the connection handshake, inquiries and selections,
// the bit-rate change, erase, block programming and reboot over one COM port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bootmode/device_list.h"
#include "bootmode/module_pause.h"
#include "bootmode/update_module.h"

class RS232CPort;
class SRECReader;

class ModUpdate1527 final : public UpdateModule {
public:
    // Reports leave the module only through these; a null callback drops its reports.
    using TextCallback = void (*)(const char* text);
    using ProgressCallback = void (*)(int current, int total);

    ModUpdate1527();
    ~ModUpdate1527();
    ModUpdate1527(const ModUpdate1527&) = delete;
    ModUpdate1527& operator=(const ModUpdate1527&) = delete;

    bool OpenCom(const char* portName) override;
    bool EraseSquence() override;
    bool ProgrammingSequence(SRECReader* reader) override;
    bool Reboot() override;

    bool SetBootMode(bool useCharacterCommand);
    bool ConnectApprove();
    bool InquireDevices(DeviceList& list);
    bool InquireProgrammingModes(std::vector<uint16_t>& modes);
    bool SelectDevice(const DeviceEntry& entry);
    bool SetClockMode(uint8_t mode);
    bool SelectBPS(const uint8_t* parameters);
    bool ChangeBPS(int bitRate);
    bool ConfirmBPS();
    bool SetProgrammingMode();

    void CloseCom();
    // Both end at once, with false, when the port's device is lost.
    bool WaitPortReady(int polls);
    bool WaitSendDone(int limit);
    // Every fixed delay of the protocol: false when it ended early because the link was lost.
    bool Pause(int milliseconds);

    // The port's event callback: reader-thread state and received bytes.
    static int32_t OnSerialEvent(RS232CPort* port, int32_t code);

    TextCallback errorCallback;
    TextCallback logCallback;
    ProgressCallback progressCallback;
    std::atomic<bool> readerActive;  // written only by OnSerialEvent
    TextCallback statusCallback;

private:
    // Opens the port at `bitRate` with the boot program's line settings; an RS232COpenResult.
    int32_t OpenPort(int bitRate);
    // True, after reporting it for `operation`, when the link is lost; the caller then fails, so
    // that each operation reports the loss once.
    bool ReportIfLost(const char* operation);

    std::unique_ptr<RS232CPort> port;
    bool programmingState;
    std::string portName;
    // Raised by OnSerialEvent when the reader thread ends on an I/O failure; cleared by OpenPort.
    ModulePause pause;
};

// The live module, which receives the port's events; null while none exists.
extern std::atomic<ModUpdate1527*> g_activeModule;
