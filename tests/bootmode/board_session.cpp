// Simulator process, report recording and the shared session steps of the boot-mode tests.
#include "board_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

Reports g_reports;

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits for the simulator's "ready" line on `fd`.
bool AwaitReady(int fd) {
    std::string seen;
    char chunk[256];
    pollfd wait = {fd, POLLIN, 0};
    while (seen.find('\n') == std::string::npos && poll(&wait, 1, 5000) > 0) {
        ssize_t count = read(fd, chunk, sizeof chunk);
        if (count <= 0) {
            return false;
        }
        seen.append(chunk, static_cast<size_t>(count));
    }
    return seen.rfind("ready ", 0) == 0;
}

}  // namespace

SimBoard::SimBoard(const std::string& name, const std::vector<std::string>& options) {
    const std::string dir = std::string(BOOT_SIM_WORK_DIR) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    link_ = dir + "/com";
    log_ = dir + "/events.jsonl";
    dump_ = dir + "/flash.bin";
    std::vector<std::string> arguments = {BOOT_SIM_PATH, "--link", link_, "--log",
                                          log_,          "--dump", dump_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, BOOT_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    ready_ = pid_ > 0 && AwaitReady(out[0]);
    close(out[0]);
}

SimBoard::~SimBoard() {
    StopAndDump();
}

Bytes SimBoard::StopAndDump() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    const std::string dump = ReadWhole(dump_);
    return Bytes(dump.begin(), dump.end());
}

std::vector<std::string> SimBoard::LogLines() const {
    std::istringstream in(ReadWhole(log_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int SimBoard::Count(const std::string& kind, const std::string& text) const {
    int count = 0;
    for (const std::string& line : LogLines()) {
        if (line.find("\"kind\":\"" + kind + "\"") != std::string::npos &&
            line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool SimBoard::WaitForCount(const std::string& kind, const std::string& text, int count,
                            int milliseconds) const {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (Count(kind, text) >= count) {
            break;
        }
        usleep(20 * 1000);
    }
    return Count(kind, text) == count;
}

Bytes SimBoard::HostBytes() const {
    Bytes bytes;
    const std::string key = "\"bytes\":\"";
    for (const std::string& line : LogLines()) {
        if (line.find("\"kind\":\"rx\"") == std::string::npos) {
            continue;
        }
        std::istringstream hex(line.substr(line.find(key) + key.size()));
        for (unsigned value = 0; hex >> std::hex >> value;) {
            bytes.push_back(static_cast<uint8_t>(value));
        }
    }
    return bytes;
}

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
    const std::string text = ReadWhole(std::string(VELMORA_SREC_SAMPLES) + "/" + name);
    return Bytes(text.begin(), text.end());
}
