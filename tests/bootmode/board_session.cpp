// Report recording and the shared session steps of the boot-mode tests.
#include "board_session.h"

#include <cstring>
#include <fstream>
#include <iterator>

Reports g_reports;

void Reports::Install(ModUpdate1527& module) {
    module.errorCallback = [](const char* text) { g_reports.errors.push_back(text); };
    module.logCallback = [](const char* text) { g_reports.log += text; };
    module.statusCallback = [](const char* text) { g_reports.status.push_back(text); };
    module.progressCallback = [](int current, int total) {
        g_reports.progress.emplace_back(current, total);
    };
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
        if (chosen == nullptr && std::strstr(entry.name, "H8SX 1520R(40MHz)") != nullptr) {
            chosen = &entry;
        }
    }
    uint8_t bitRate[85] = {0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04};
    return chosen != nullptr && module.SelectDevice(*chosen) && module.SetClockMode(0) &&
           module.SelectBPS(bitRate) && module.ChangeBPS(38400) && module.ConfirmBPS();
}

bool ReachProgramming(ModUpdate1527& module, const std::string& port) {
    return ReachFastLink(module, port) && module.SetProgrammingMode();
}

Bytes ReadSample(const std::string& name) {
    std::ifstream in(std::string(VELMORA_SREC_SAMPLES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
