// Starts and stops velmora-board-sim for a test and reads what it leaves: the event log and the
// dump.
#include "support/sim_board.h"

#include <errno.h>
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

#include "support/wait_until.h"

extern char** environ;

namespace {

// The simulator prints its ready line at once; a loaded machine may take a while to run it.
const int kReadyTimeoutMs = 10000;
// It ends at once on a signal; one that does not is killed rather than left to hang the test.
const int kStopTimeoutMs = 10000;
// A refusal of its command line comes at once; one that starts running instead is stopped.
const int kRefusalTimeoutMs = 5000;
// The event log is read whole at every look: often enough, not more.
const int kLogPollMs = 5;

// Each test program keeps its work apart from the other programs' under the build tree.
std::string ProgramDirectory() {
    return std::string(VELMORA_SIM_WORK_DIR) + "/" + program_invocation_short_name;
}

pid_t Spawn(const std::vector<std::string>& arguments, int stdoutFd, const std::string& errorPath) {
    std::string program = VELMORA_BOARD_SIM;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv{program.data()};
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
    const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

// Reaps `pid` if it has ended within `timeoutMs`; its exit code, -1 when it ended otherwise, -2
// when it is still running.
int WaitExit(pid_t pid, int timeoutMs) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs, 5)) {
        return -2;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line written to `fd`, whole, or what came of it within `timeoutMs`.
std::string ReadFirstLine(int fd, int timeoutMs) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t length = read(fd, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        line.append(buffer, static_cast<size_t>(length));
    }
    return line;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string TestDirectory() {
    static std::string prepared;
    std::string dir = ProgramDirectory();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != nullptr) {
        dir += std::string("/") + test->test_suite_name() + "." + test->name();
    }
    if (dir != prepared) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        prepared = dir;
    }
    return dir;
}

SimBoard::SimBoard(const std::vector<std::string>& options, const std::string& place)
    : dir_(place.empty() ? TestDirectory() : TestDirectory() + "/" + place),
      link_(dir_ + "/port"),
      log_(dir_ + "/events.jsonl"),
      dump_(dir_ + "/flash.bin") {
    std::filesystem::create_directories(dir_);
    std::vector<std::string> arguments{"--link", link_, "--log", log_, "--dump", dump_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe for the simulator's ready line";
        return;
    }
    pid_ = Spawn(arguments, out[1], dir_ + "/stderr.txt");
    close(out[1]);
    const std::string line = pid_ > 0 ? ReadFirstLine(out[0], kReadyTimeoutMs) : "";
    close(out[0]);
    ready_ = line == "ready " + link_ + "\n";
    EXPECT_TRUE(ready_) << "simulator said: " << line << ReadFile(dir_ + "/stderr.txt");
}

SimBoard::~SimBoard() {
    Stop(SIGTERM);
}

int SimBoard::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    int code = WaitExit(pid_, kStopTimeoutMs);
    if (code == -2) {
        ADD_FAILURE() << "the simulator outlived signal " << signal << " by " << kStopTimeoutMs
                      << " ms";
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        code = -1;
    }
    pid_ = -1;
    return code;
}

std::vector<std::string> SimBoard::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(log_));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int SimBoard::Count(const std::string& kind, const std::string& text) const {
    const std::string tag = "\"kind\":\"" + kind + "\"";
    int count = 0;
    for (const std::string& line : LogLines()) {
        if (line.find(tag) != std::string::npos && line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool SimBoard::WaitFor(const std::string& kind, int count, const std::string& text,
                       int timeoutMs) const {
    return WaitUntil([&] { return Count(kind, text) >= count; }, timeoutMs, kLogPollMs);
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

Bytes SimBoard::ReadDump() const {
    const std::string content = ReadFile(dump_);
    return Bytes(content.begin(), content.end());
}

Bytes SimBoard::StopAndDump() {
    Stop(SIGTERM);
    return ReadDump();
}

int RunSimToEnd(const std::vector<std::string>& arguments, std::string* errors) {
    const std::string errorPath = TestDirectory() + "/stderr.txt";
    const pid_t pid = Spawn(arguments, -1, errorPath);
    if (pid <= 0) {
        return -1;
    }
    const int code = WaitExit(pid, kRefusalTimeoutMs);
    if (code == -2) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        *errors = "still running after 5 s";
        return -1;
    }
    *errors = ReadFile(errorPath);
    return code;
}
