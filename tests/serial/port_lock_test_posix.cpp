// The port's UUCP lock file: its name for a device whatever name reaches it, its HDB text, a stale
// lock taken over, a live holder named and left alone, and systems that keep no lock directory.
#include "serial/port_lock.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "serial/uucp_lock.h"
#include "support/wait_until.h"

namespace {

namespace fs = std::filesystem;

TEST(UucpLockFileTest, IsNamedAfterTheDeviceBelowDev) {
    EXPECT_EQ("LCK..ttyUSB0", UucpLockName("/dev/ttyUSB0"));
    EXPECT_EQ("LCK..pts_3", UucpLockName("/dev/pts/3"));
}

TEST(UucpLockFileTest, HoldsThePidInHdbFormAndNothingElseCounts) {
    EXPECT_EQ("      4242\n", UucpLockText(4242));
    const struct {
        const char* text;
        long pid;
    } kCases[] = {{"      4242\n", 4242},
                  {"4242\n", 4242},
                  {"4242", 4242},
                  {"", 0},
                  {"\n", 0},
                  {"          \n", 0},
                  {"42x\n", 0},
                  {"-42\n", 0},
                  {"4242\n\n", 0},
                  {"99999999999\n", 0},
                  {"\x92\x10\0\0", 0}};
    for (const auto& entry : kCases) {
        EXPECT_EQ(entry.pid, UucpLockPid(entry.text)) << '"' << entry.text << '"';
    }
}

// A lock directory of its own and a device (/dev/null) reached through two links.
class PortLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-lock-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        fs::create_directory(LockDirectory());
        fs::create_symlink("/dev/null", root_ + "/by-id");
        fs::create_symlink(root_ + "/by-id", Port());
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string LockDirectory() const { return root_ + "/lock"; }
    std::string LockFile() const { return LockDirectory() + "/LCK..null"; }
    std::string Port() const { return root_ + "/board"; }
    void WriteLock(long pid) { std::ofstream(LockFile()) << UucpLockText(pid); }
    long LockPid() const {
        std::ifstream file(LockFile());
        std::stringstream text;
        text << file.rdbuf();
        return UucpLockPid(text.str());
    }

    std::string root_;
};

TEST_F(PortLockTest, ReplacesTheLockOfADeadProcessOrOfThisPidBefore) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(0);
    }
    ASSERT_EQ(child, waitpid(child, nullptr, 0));
    for (long stale : {static_cast<long>(child), static_cast<long>(getpid())}) {
        WriteLock(stale);
        PortLock lock(LockDirectory());
        PortOpenProblem problem;
        EXPECT_TRUE(lock.Take(Port(), &problem)) << stale;
        EXPECT_EQ(getpid(), LockPid()) << stale;
    }
}

TEST_F(PortLockTest, ALiveHolderRefusesTheLockWithItsNameAndKeepsIt) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string comm = "/proc/" + std::to_string(child) + "/comm";
    const bool exec = WaitUntil(
        [&] {
            std::string name;
            std::ifstream(comm) >> name;
            return name == "sleep";
        },
        5000);
    WriteLock(child);
    PortLock lock(LockDirectory());
    PortOpenProblem problem;
    const bool taken = lock.Take(Port(), &problem);
    lock.Release();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(exec);
    EXPECT_FALSE(taken);
    EXPECT_EQ(PortProblem::Busy, problem.kind);
    EXPECT_EQ(child, problem.holderPid);
    EXPECT_EQ("sleep", problem.detail);
    EXPECT_EQ(child, LockPid());
}

TEST_F(PortLockTest, ReleaseLeavesALockThatNamesAnotherProcess) {
    PortLock lock(LockDirectory());
    PortOpenProblem problem;
    ASSERT_TRUE(lock.Take(Port(), &problem));
    WriteLock(1);
    lock.Release();
    EXPECT_EQ(1, LockPid());
}

TEST_F(PortLockTest, NoLockDirectoryOrNoDeviceHoldsNothing) {
    PortOpenProblem problem;
    PortLock withoutDirectory(root_ + "/missing");
    EXPECT_TRUE(withoutDirectory.Take(Port(), &problem));
    PortLock withoutDevice(LockDirectory());
    EXPECT_TRUE(withoutDevice.Take(root_ + "/no-such-board", &problem));
    EXPECT_TRUE(fs::is_empty(LockDirectory()));
    EXPECT_EQ(PortProblem::None, problem.kind);
}

}  // namespace
