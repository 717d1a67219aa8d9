// Times each block's turnaround in a whole velmora-cli run against the simulated board on its pty:
// from the ACK of one block arriving in the port's reader thread to the write of the next block's
// frame returning, split at the update thread's Write call.
//
// The port is wrapped in a link that timestamps its events as the reader thread raises them
// (DataReceived right after the read, WriteDone right after the write), so the product carries
// no timing code. The run is velmora-cli's: its run options and its console, whose streams go to
// /dev/null as plain progress lines.
//
// Usage: block_turnaround_timing [--bps RATE] [--blocks N] [board-sim options ...]
//        (default: 625000, 2048 blocks (256 KiB), --program-time 3)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/mod_update_1527.h"
#include "cli/board_console.h"
#include "cli/streams.h"
#include "cli/write_run_options.h"
#include "serial/rs232c_port.h"
#include "serial/text_conversion.h"
#include "support/sim_board.h"
#include "update/update_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every block of a turnaround, each time in the order it happened.
struct Turnaround {
    Clock::time_point ack;      // the block's ACK in the reader thread
    Clock::time_point written;  // the update thread's Write of the next frame
    Clock::time_point done;     // the reader thread's write of it returned
};

// RS232CPort with its events timed. Write and the events come on different threads: the marks
// they leave for each other are atomics, and the samples are the reader thread's alone.
class TimedLink final : public SerialLink {
public:
    TimedLink() { port_.SetEventCallback(&TimedLink::OnEvent, this); }

    void SetEventCallback(RS232CEventCallback callback, void* context) override {
        callback_ = callback;
        context_ = context;
    }
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override {
        return port_.Open(name, bitRate, parity, byteSize, lineEvents);
    }
    const PortOpenProblem& LastOpenProblem() const override { return port_.LastOpenProblem(); }
    void Close() override { port_.Close(); }
    std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                const std::vector<int32_t>& bitRates) override {
        return port_.RefusedBitRates(name, bitRates);
    }
    void Write(const uint8_t* data, int32_t length) override {
        const bool block =
            length == static_cast<int32_t>(kBlockFrameBytes) && data[0] == kProgrammingCommand;
        if (block) {
            written_.store(Clock::now().time_since_epoch().count());
        }
        blockWritten_.store(block);
        port_.Write(data, length);
    }
    void RequestRead() override { port_.RequestRead(); }
    const uint8_t* GetReceiveBuffer() const override { return port_.GetReceiveBuffer(); }
    int32_t GetReceivedCount() const override { return port_.GetReceivedCount(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    bool IsWriting() const override { return port_.IsWriting(); }
    bool IsReadPending() const override { return port_.IsReadPending(); }
    bool IsLost() const override { return port_.IsLost(); }

    // Read once the run has ended.
    const std::vector<Turnaround>& Samples() const { return samples_; }

private:
    static int32_t OnEvent(SerialLink*, int32_t code, void* context) {
        TimedLink& link = *static_cast<TimedLink*>(context);
        const Clock::time_point now = Clock::now();
        const PortEvent event = static_cast<PortEvent>(code);
        if (event == PortEvent::DataReceived && link.blockWritten_.load() &&
            link.port_.GetReceivedCount() > 0 && link.port_.GetReceiveBuffer()[0] == kAck) {
            link.ack_ = now;
            link.acked_ = true;
        } else if (event == PortEvent::WriteDone && link.blockWritten_.load() && link.acked_) {
            const Clock::time_point written{Clock::duration(link.written_.load())};
            link.samples_.push_back({link.ack_, written, now});
            link.acked_ = false;
        }
        return link.callback_ != nullptr ? link.callback_(&link, code, link.context_) : 0;
    }

    RS232CPort port_;
    RS232CEventCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> blockWritten_{false};  // the last Write was a block's frame
    std::atomic<Clock::rep> written_{0};     // when it was handed over
    // Reader thread only.
    bool acked_ = false;
    Clock::time_point ack_;
    std::vector<Turnaround> samples_;
};

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The value below which `share` of the sorted values lie.
double Quantile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

void PrintRow(const char* name, const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    std::printf("%-36s %8.3f %8.3f %8.3f %8.3f\n", name, Quantile(values, 0.5),
                Quantile(values, 0.99), *std::max_element(values.begin(), values.end()),
                sum / static_cast<double>(values.size()));
}

}  // namespace

int main(int argc, char** argv) {
    int bitRate = 625000;
    int blocks = 2048;
    std::vector<std::string> boardOptions;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bps") == 0 && i + 1 < argc) {
            bitRate = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--blocks") == 0 && i + 1 < argc) {
            blocks = std::atoi(argv[++i]);
        } else {
            boardOptions.push_back(argv[i]);
        }
    }
    if (boardOptions.empty()) {
        boardOptions = {"--program-time", "3"};
    }
    if (blocks < 2) {
        std::fprintf(stderr, "--blocks: at least 2\n");
        return 2;
    }
    // No block all erased bytes, so that every block is sent.
    DataPiece piece;
    piece.bytes.resize(static_cast<size_t>(blocks) * kBlockBytes);
    uint32_t state = 1520;
    for (uint8_t& byte : piece.bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>((state >> 16) % 0xFF);
    }
    const auto image = std::make_shared<const FirmwareImage>(LayFirmwareImage({piece}));

    SimBoard board(boardOptions);
    if (!board.ready()) {
        std::fprintf(stderr, "the simulated board did not start\n");
        return 1;
    }
    std::unique_ptr<TimedLink> owned = std::make_unique<TimedLink>();
    TimedLink& link = *owned;
    ModUpdate1527 module(std::move(owned));
    std::FILE* discard = std::fopen("/dev/null", "w");
    ConsoleFiles files;
    files.output = discard;
    files.errors = discard;
    Streams streams(ProgressDisplay::Lines, files);
    BoardOutput output;
    output.label = "board";
    output.bitRate = bitRate;
    BoardConsole console(streams, output);
    streams.Show(&console);

    WriteRequest request;
    request.fast = true;
    request.bitRates = {bitRate};
    UpdateJob job;
    job.portName = WideFromUtf8(board.link());
    job.image = image;
    job.options = WriteRunOptions(request);
    UpdateThread run(module, console, job);
    if (!run.Start(0)) {
        std::fprintf(stderr, "the update's thread did not start\n");
        return 1;
    }
    run.WaitUntilFinished();
    const RunOutcome outcome = run.Outcome();
    module.CloseCom();
    std::fclose(discard);
    if (outcome.end != RunEnd::Completed) {
        std::fprintf(stderr, "the run failed at step %d: %s\n", static_cast<int>(outcome.step),
                     outcome.failure.description.c_str());
        return 1;
    }

    std::vector<double> whole;
    std::vector<double> toWrite;
    std::vector<double> writePath;
    for (const Turnaround& sample : link.Samples()) {
        whole.push_back(Milliseconds(sample.done - sample.ack));
        toWrite.push_back(Milliseconds(sample.written - sample.ack));
        writePath.push_back(Milliseconds(sample.done - sample.written));
    }
    if (whole.empty()) {
        std::fprintf(stderr, "no turnaround was seen\n");
        return 1;
    }
    std::printf("%d blocks at %d bps, %zu turnarounds, run %.2f s\n\n", outcome.blocksAcknowledged,
                bitRate, whole.size(), outcome.seconds);
    std::printf("%-36s %8s %8s %8s %8s\n", "ms", "median", "p99", "max", "mean");
    PrintRow("ACK in reader -> next frame written", whole);
    PrintRow("  ACK in reader -> Write called", toWrite);
    PrintRow("  Write called -> write returned", writePath);
    return 0;
}
