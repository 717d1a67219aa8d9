// The Win32 port's overlapped request helpers against a named pipe, whose server end stands for
// the COM port: a read that has not finished yet, and the bounded wait for requests that never
// end (as after the surprise removal of a USB adapter).
#include "serial/overlapped_request_win32.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <ostream>

void PrintTo(Fetch fetch, std::ostream* out) {
    static const char* const kNames[] = {"Completed", "NotYet", "Failed"};
    *out << kNames[static_cast<int>(fetch)];
}

namespace {

class OverlappedRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        static unsigned pipes = 0;
        wchar_t name[80];
        std::swprintf(name, sizeof name / sizeof name[0], L"\\\\.\\pipe\\velmora-request-%lu-%u",
                      GetCurrentProcessId(), ++pipes);
        server_ = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, server_);
        client_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, client_);
        record_.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        ASSERT_NE(static_cast<HANDLE>(NULL), record_.hEvent);
    }

    // A request still in flight would complete into the record after it is gone.
    void TearDown() override {
        if (server_ != INVALID_HANDLE_VALUE) {
            CancelIo(server_);
            if (record_.hEvent != NULL) {
                WaitForSingleObject(record_.hEvent, 5000);
            }
            CloseHandle(server_);
        }
        if (client_ != INVALID_HANDLE_VALUE) {
            CloseHandle(client_);
        }
        if (record_.hEvent != NULL) {
            CloseHandle(record_.hEvent);
        }
    }

    void StartRead() {
        ASSERT_FALSE(ReadFile(server_, buffer_, 1, NULL, &record_));
        ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    }

    void SendByte(uint8_t byte) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(client_, &byte, 1, &written, NULL));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(record_.hEvent, 5000));
    }

    HANDLE server_ = INVALID_HANDLE_VALUE;
    HANDLE client_ = INVALID_HANDLE_VALUE;
    OVERLAPPED record_ = {};
    uint8_t buffer_[1] = {};
};

TEST_F(OverlappedRequestTest, AnUnfinishedReadIsNotYetAndCompletesWithItsByte) {
    StartRead();
    DWORD count = 7;
    EXPECT_EQ(Fetch::NotYet, FetchResult(server_, &record_, &count));
    SendByte(0xE6);
    EXPECT_EQ(Fetch::Completed, FetchResult(server_, &record_, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0xE6, buffer_[0]);
}

TEST_F(OverlappedRequestTest, TheWaitForAnUnfinishedRequestEndsAtItsBound) {
    StartRead();
    OVERLAPPED* const inFlight[] = {&record_};
    const DWORD start = GetTickCount();
    EXPECT_FALSE(AwaitRequests(inFlight, 1, 300));
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 3000u);

    SendByte(0x06);
    EXPECT_TRUE(AwaitRequests(inFlight, 1, 300));
    EXPECT_TRUE(AwaitRequests(inFlight, 0, 0)) << "nothing in flight";
}

}  // namespace
