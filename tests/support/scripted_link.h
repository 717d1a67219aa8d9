// A board that answers each command from a table, in process and at once, and a clock whose waits
// take no time: the module's seams for arranging one failure exactly, in milliseconds. The board
// answers in the caller's thread, from inside Open, Close and Write.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "serial/serial_link.h"
#include "serial/wait_clock.h"

// The device inquiry's reply (0x30 ...) listing one device by `name`.
std::vector<uint8_t> DeviceListReply(const char* name);
// A reply of the boot program: `bytes` and their SUM.
std::vector<uint8_t> WithSum(std::vector<uint8_t> bytes);

class ScriptedLink final : public SerialLink {
public:
    // The replies of a board that takes every command of a run, with the supported device listed.
    ScriptedLink();

    // By command byte; a command without an entry gets no answer.
    std::map<uint8_t, std::vector<uint8_t>> replies;
    // The opening (1 for the first) that fails with `openProblem`; 0 for none.
    int failingOpening = 0;
    PortOpenProblem openProblem;
    // The opening whose reader never starts; 0 for none.
    int silentOpening = 0;
    // The command on whose arrival the device goes away; -1 for none.
    int vanishOn = -1;

    void SetEventCallback(RS232CEventCallback callback, void* context) override;
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override;
    const PortOpenProblem& LastOpenProblem() const override { return problem_; }
    void Close() override;
    void Write(const uint8_t* data, int32_t length) override;
    void RequestRead() override {}
    const uint8_t* GetReceiveBuffer() const override { return &byte_; }
    int32_t GetReceivedCount() const override { return 1; }
    bool IsOpen() const override { return open_; }
    bool IsWriting() const override { return false; }
    bool IsReadPending() const override { return false; }
    bool IsLost() const override { return lost_; }

private:
    void Raise(PortEvent event);

    RS232CEventCallback callback_ = nullptr;
    void* context_ = nullptr;
    int openings_ = 0;
    bool open_ = false;
    bool lost_ = false;
    PortOpenProblem problem_;
    uint8_t byte_ = 0;  // the byte a DataReceived event hands over
};

// Every wait ends at once: an event already set ends it, else its whole time passes.
class VirtualClock final : public WaitClock {
public:
    std::chrono::nanoseconds Now() override { return now_; }
    bool WaitFor(Event& event, int milliseconds) override;
    void Sleep(int milliseconds) override;

private:
    std::chrono::nanoseconds now_{0};
};
