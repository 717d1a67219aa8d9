// velmora-cli info: the window's load summary, the image's blocks and the design's run time.
#include <cstdio>
#include <string>

#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/run_estimate.h"
#include "cli/commands.h"
#include "cli/command_paths.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "image/firmware_file.h"
#include "image/firmware_loading.h"
#include "update/operator_routines.h"

namespace {

const LoadReports kLoadReports = {AppendLog, AppendLogA, ClearLog, nullptr, nullptr};

std::string Duration(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    return text;
}

}  // namespace

int InfoCommand(const std::string& file) {
    std::string problem;
    StartConsole(ConsoleOptions(), &problem);
    g_firmwarePath = WideFromUtf8(file);
    const LoadOutcome loaded = LoadFirmware(g_firmwarePath, kLoadReports);
    StopConsole();
    if (loaded != LoadOutcome::Loaded) {
        Complain(file + ": cannot be loaded (see above)");
        return kExitFileRefused;
    }
    int blocks = 0;
    int sent = 0;
    if (g_srecReader->GetDataByteCount() != 0) {
        const FirmwareImage image = LayFirmwareImage(*g_srecReader);
        blocks = static_cast<int>(image.bytes.size() / kBlockBytes);
        for (int block = 0; block < blocks; ++block) {
            sent += IsErasedBlock(image.bytes.data() + block * kBlockBytes) ? 0 : 1;
        }
    }
    std::printf("\nImage: %d blocks of %zu bytes, %d to send, %d blank\n", blocks, kBlockBytes,
                sent, blocks - sent);
    std::printf(
        "At the design's pacing a run takes about %s: %.1f s of fixed delays, %.1f s on "
        "the wire for the blocks sent\n",
        Duration(DesignPacedRunSeconds(sent)).c_str(), DesignPacedRunSeconds(0),
        sent * BlockWireSeconds());
    return kExitProgrammed;
}
