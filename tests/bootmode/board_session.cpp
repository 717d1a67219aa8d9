// Report recording and the shared session steps of the boot-mode tests.
#include "board_session.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "bootmode/boot_protocol.h"

Reports g_reports;

void Reports::Install(ModUpdate1527& module) {
    module.SetReports(this);
}

bool ReachFastLink(ModUpdate1527& module, const std::string& port) {
    DeviceList devices;
    std::vector<uint16_t> modes;
    if (!module.OpenCom(port.c_str()) || !module.SetBootMode(false) || !module.ConnectApprove() ||
        !module.InquireDevices(devices) || !module.InquireProgrammingModes(modes)) {
        return false;
    }
    const DeviceEntry* chosen = nullptr;
    for (const DeviceEntry& entry : devices.entries) {
        if (chosen == nullptr && std::strstr(entry.name, kSupportedDeviceName) != nullptr) {
            chosen = &entry;
        }
    }
    uint8_t bitRate[kBitRateParameterBlock] = {};
    std::memcpy(bitRate, kProgrammingBitRateParameters, sizeof kProgrammingBitRateParameters);
    return chosen != nullptr && module.SelectDevice(*chosen) &&
           module.SetClockMode(kDefaultClockMode) && module.SelectBPS(bitRate) &&
           module.ChangeBPS(kProgrammingBitRate) && module.ConfirmBPS();
}

bool ReachProgramming(ModUpdate1527& module, const std::string& port) {
    return ReachFastLink(module, port) && module.SetProgrammingMode();
}

Bytes ReadSample(const std::string& name) {
    std::ifstream in(std::string(VELMORA_SREC_SAMPLES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
