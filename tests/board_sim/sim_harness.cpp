// Simulator process, termios host and shared session steps for the board simulator's tests.
#include "board_sim/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

const Bytes kOwnDeviceCode{0x15, 0x20, 0x00, 0x40};
const Bytes kSelectOwnDevice = WithSum({0x10, 0x04, 0x15, 0x20, 0x00, 0x40});
const Bytes kSetClockMode0{0x11, 0x01, 0x00, 0xEE};
const Bytes kSelect38400{0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04, 0x36};

namespace {

const Bytes kAck{0x06};

int Spawn(const std::vector<std::string>& arguments, int stdoutFd, const std::string& errorPath) {
    std::vector<char*> argv;
    std::string program = BOARD_SIM_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

Bytes WithSum(Bytes frame) {
    uint8_t sum = 0;
    for (uint8_t byte : frame) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    frame.push_back(static_cast<uint8_t>(0x100 - sum));
    return frame;
}

Bytes BlockFrame(uint32_t address, uint8_t seed) {
    Bytes frame{0x50, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    for (int i = 0; i < 128; ++i) {
        frame.push_back(static_cast<uint8_t>(seed + i));
    }
    return WithSum(frame);
}

std::string TestDirectory() {
    // Emptied on the test's first call only: a scenario's later simulators share it.
    static std::string prepared;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir =
        std::string(BOARD_SIM_WORK_DIR) + "/" + info->test_suite_name() + "." + info->name();
    if (dir != prepared) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        prepared = dir;
    }
    return dir;
}

SimProcess::SimProcess(const std::vector<std::string>& options)
    : dir_(TestDirectory()),
      link_(dir_ + "/port"),
      log_(dir_ + "/events.jsonl"),
      dump_(dir_ + "/flash.bin") {
    std::vector<std::string> arguments{"--link", link_, "--log", log_, "--dump", dump_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = Spawn(arguments, out[1], dir_ + "/stderr.txt");
    close(out[1]);
    std::string line;
    pollfd readable{out[0], POLLIN, 0};
    while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&readable, 1, 5000) > 0) {
        char buffer[256];
        ssize_t length = read(out[0], buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        line.append(buffer, static_cast<size_t>(length));
    }
    close(out[0]);
    ready_ = line == "ready " + link_ + "\n";
    EXPECT_TRUE(ready_) << "simulator said: " << line << ReadFile(dir_ + "/stderr.txt");
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        Stop(SIGTERM);
    }
}

int SimProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    const int code = WaitExit(pid_);
    pid_ = -1;
    return code;
}

std::vector<std::string> SimProcess::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(log_));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int SimProcess::Count(const std::string& kind, const std::string& text) const {
    const std::string tag = "\"kind\":\"" + kind + "\"";
    int count = 0;
    for (const std::string& line : LogLines()) {
        if (line.find(tag) != std::string::npos && line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool SimProcess::WaitFor(const std::string& kind, int count, const std::string& text,
                         int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Count(kind, text) < count) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

Bytes SimProcess::ReadDump() const {
    const std::string content = ReadFile(dump_);
    return Bytes(content.begin(), content.end());
}

int RunSimToEnd(const std::vector<std::string>& arguments, std::string* errors) {
    const std::string errorPath = TestDirectory() + "/stderr.txt";
    pid_t pid = Spawn(arguments, -1, errorPath);
    if (pid <= 0) {
        return -1;
    }
    // One that starts running instead of refusing is stopped, so the test fails instead of hanging.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGTERM);
            waitpid(pid, &status, 0);
            *errors = "still running after 5 s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    *errors = ReadFile(errorPath);
    return code;
}

bool HostPort::Open(const std::string& path, speed_t rate, tcflag_t cflagExtra, tcflag_t iflag) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | CSTOPB | CRTSCTS)) | CS8 | CLOCAL |
                       CREAD | cflagExtra;
    settings.c_iflag = iflag;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, rate) != 0 || cfsetospeed(&settings, rate) != 0 ||
        tcsetattr(fd_, TCSANOW, &settings) != 0) {
        Close();
        return false;
    }
    failed_ = false;
    return true;
}

void HostPort::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool HostPort::Send(const Bytes& bytes) {
    return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes HostPort::Receive(size_t count, int timeoutMs) {
    Bytes received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0 && received.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd readable{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buffer[512];
        ssize_t length = read(fd_, buffer, std::min(sizeof buffer, count - received.size()));
        if (length <= 0) {
            failed_ = true;
            break;
        }
        received.insert(received.end(), buffer, buffer + length);
    }
    return received;
}

Bytes HostPort::Exchange(const Bytes& bytes, size_t count, int timeoutMs) {
    return Send(bytes) ? Receive(count, timeoutMs) : Bytes{};
}

bool HostPort::Unanswered(const Bytes& bytes, int timeoutMs) {
    return Exchange(bytes, 1, timeoutMs).empty();
}

bool PulsePort(const std::string& path, speed_t rate) {
    HostPort port;
    if (!port.Open(path, rate)) {
        return false;
    }
    // As long as the real host holds the port while its reader thread starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
}

bool EnterBootMode(SimProcess& sim) {
    const int resets = sim.Count("reset");
    if (!PulsePort(sim.link()) || !PulsePort(sim.link()) || !sim.WaitFor("reset", resets + 2)) {
        ADD_FAILURE() << "two openings at 19200 bps did not reset the board twice";
        return false;
    }
    return true;
}

bool ReachDeviceSelection(SimProcess& sim, HostPort& host) {
    if (!EnterBootMode(sim) || !host.Open(sim.link(), B9600)) {
        ADD_FAILURE() << "cannot open the port at 9600 bps";
        return false;
    }
    const Bytes matched = host.Exchange({0x00}, 1);
    const Bytes handshake = host.Exchange({0x55}, 1);
    EXPECT_EQ(matched, Bytes{0x00});
    EXPECT_EQ(handshake, Bytes{0xE6});
    return matched == Bytes{0x00} && handshake == Bytes{0xE6};
}

bool ReachBitRateSelection(HostPort& host) {
    const Bytes device = host.Exchange(kSelectOwnDevice, 1);
    const Bytes clock = host.Exchange(kSetClockMode0, 1);
    EXPECT_EQ(device, kAck);
    EXPECT_EQ(clock, kAck);
    return device == kAck && clock == kAck;
}

bool ChangeTo38400(SimProcess& sim, HostPort& host) {
    const Bytes selected = host.Exchange(kSelect38400, 1);
    EXPECT_EQ(selected, kAck);
    if (selected != kAck || !host.Open(sim.link(), B38400)) {
        return false;
    }
    const Bytes confirmed = host.Exchange({0x06}, 1);
    EXPECT_EQ(confirmed, kAck);
    return confirmed == kAck;
}

bool ReachErased(SimProcess& sim, HostPort& host) {
    if (!ReachDeviceSelection(sim, host) || !ReachBitRateSelection(host) ||
        !ChangeTo38400(sim, host)) {
        return false;
    }
    const Bytes erased = host.Exchange({0x40}, 1);
    EXPECT_EQ(erased, kAck);
    return erased == kAck;
}

bool ReachProgramming(SimProcess& sim, HostPort& host) {
    if (!ReachErased(sim, host)) {
        return false;
    }
    const Bytes matSelected = host.Exchange({0x43}, 1);
    EXPECT_EQ(matSelected, kAck);
    return matSelected == kAck;
}
