// Times one whole boot-mode session against the simulated board and sets it against what the
// protocol itself demands: the fixed delays of every command plus the wire time of the bytes sent.
//
// Usage: boot_session_timing [firmware.mot]   (default: the two-block S1 sample)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bootmode/mod_update_1527.h"
#include "image/srec_reader.h"
#include "serial/rs232c_port.h"
#include "support/sim_board.h"

namespace {

using Clock = std::chrono::steady_clock;

// Errors on standard error; the status line counts the erase waits and the blocks written.
struct SessionReports final : ModuleReports {
    int eraseWaits = 0;
    int blocksWritten = 0;

    void Error(const char* text) override { std::fprintf(stderr, "error: %s\n", text); }
    void Status(const char* text) override {
        eraseWaits += std::strncmp(text, "[!] Waiting for MCU erasing", 27) == 0;
        blocksWritten += std::strstr(text, "(WRITING:128)") != nullptr;
    }
};

struct StepTime {
    const char* name;
    double seconds;
};

// Seconds the host's bytes took on the wire at the rate each was sent, 10 bits a byte, and the
// number of matching bytes among them, from the board's event log.
void HostTraffic(const SimBoard& board, double* wireSeconds, int* matchingBytes) {
    *wireSeconds = 0;
    *matchingBytes = 0;
    for (const std::string& line : board.LogLines()) {
        if (line.find("\"kind\":\"matching\"") != std::string::npos) {
            ++*matchingBytes;
        }
        const size_t bytes = line.find("\"bytes\":\"");
        const size_t rate = line.find("\"bit_rate\":");
        if (line.find("\"kind\":\"rx\"") == std::string::npos || bytes == std::string::npos ||
            rate == std::string::npos) {
            continue;
        }
        const size_t hexEnd = line.find('"', bytes + 9);
        const size_t count = (hexEnd - (bytes + 9) + 1) / 3;
        *wireSeconds += count * 10.0 / std::atof(line.c_str() + rate + 11);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path =
        argc > 1 ? argv[1] : std::string(VELMORA_SREC_SAMPLES) + "/two-blocks-s1.mot";
    SRECReader reader;
    if (!reader.LoadFile(path.c_str()) || reader.GetDataByteCount() == 0) {
        std::fprintf(stderr, "cannot load %s\n", path.c_str());
        return 1;
    }
    // In this program's work directory under the build tree, stopped by the destructor.
    SimBoard board({});
    if (!board.ready()) {
        std::fprintf(stderr, "the simulated board did not start\n");
        return 1;
    }
    ModUpdate1527 module{std::make_unique<RS232CPort>()};
    SessionReports reports;
    module.SetReports(&reports);

    DeviceList devices;
    std::vector<uint16_t> modes;
    uint8_t bitRate[85] = {0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04};
    std::vector<StepTime> steps;
    bool ok = true;
    const Clock::time_point sessionStart = Clock::now();
    auto run = [&](const char* name, auto operation) {
        if (!ok) {
            return;
        }
        const Clock::time_point start = Clock::now();
        ok = operation();
        steps.push_back({name, std::chrono::duration<double>(Clock::now() - start).count()});
        if (!ok) {
            std::fprintf(stderr, "%s failed\n", name);
        }
    };
    run("OpenCom", [&] { return module.OpenCom(board.link().c_str()); });
    run("SetBootMode", [&] { return module.SetBootMode(false); });
    run("ConnectApprove", [&] { return module.ConnectApprove(); });
    run("InquireDevices", [&] { return module.InquireDevices(devices); });
    run("InquireProgrammingModes", [&] { return module.InquireProgrammingModes(modes); });
    run("SelectDevice", [&] {
        for (const DeviceEntry& entry : devices.entries) {
            if (std::strstr(entry.name, "H8SX 1520R(40MHz)") != nullptr) {
                return module.SelectDevice(entry);
            }
        }
        return false;
    });
    run("SetClockMode", [&] { return module.SetClockMode(0); });
    run("SelectBPS", [&] { return module.SelectBPS(bitRate); });
    run("ChangeBPS", [&] { return module.ChangeBPS(38400); });
    run("ConfirmBPS", [&] { return module.ConfirmBPS(); });
    run("SetProgrammingMode", [&] { return module.SetProgrammingMode(); });
    run("ProgrammingSequence", [&] { return module.ProgrammingSequence(&reader); });
    run("Reboot", [&] { return module.Reboot(); });
    const double total = std::chrono::duration<double>(Clock::now() - sessionStart).count();
    if (!ok) {
        return 1;
    }

    double wire = 0;
    int matching = 0;
    HostTraffic(board, &wire, &matching);
    // The fixed delays of the path the session took, in milliseconds.
    const int delays = 1000                            // OpenCom
                       + 1000 + 300 * matching + 1000  // ConnectApprove
                       + 2000 + 1000 + 1000            // both inquiries
                       + 1000 + 1000 + 2000 + 1000     // selections, confirmation
                       + 3000 + 1000 * reports.eraseWaits + 2000 + 2000 + 10  // programming state
                       + 200 * reports.blocksWritten + 200;  // blocks and their end
    std::printf("%-24s %9s\n", "step", "seconds");
    for (const StepTime& step : steps) {
        std::printf("%-24s %9.3f\n", step.name, step.seconds);
    }
    const double demanded = delays / 1000.0 + wire;
    std::printf("\nimage: %s, %d blocks written, %d matching bytes, %d erase waits\n", path.c_str(),
                reports.blocksWritten, matching, reports.eraseWaits);
    std::printf("total session time        %9.3f s\n", total);
    std::printf("fixed delays              %9.3f s\n", delays / 1000.0);
    std::printf("wire time of bytes sent   %9.3f s\n", wire);
    std::printf("delays + wire time        %9.3f s\n", demanded);
    std::printf("ratio total / demanded    %9.4f (overhead %.2f %%)\n", total / demanded,
                (total / demanded - 1) * 100);
    // The host's bytes leave while the fixed delays run, so the delays alone are the floor.
    std::printf("ratio total / delays      %9.4f (overhead %.2f %%)\n", total * 1000 / delays,
                (total * 1000 / delays - 1) * 100);
    return 0;
}
