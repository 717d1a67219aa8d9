// velmora-cli write: load the file once as the window does, then run the update with the
// window's module, steps and texts on every board at once, each on threads of its own, while the
// main thread watches for stops; end each board's log with its outcome, and several boards with a
// table.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/mod_update_1527.h"
#include "cli/board_console.h"
#include "cli/board_numbering.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/firmware_input.h"
#include "cli/interrupt_watch.h"
#include "cli/log_files.h"
#include "cli/port_adapter.h"
#include "cli/results_table.h"
#include "cli/run_conclusion.h"
#include "cli/station.h"
#include "cli/stop_actions.h"
#include "cli/stop_text.h"
#include "cli/streams.h"
#include "cli/surroundings.h"
#include "cli/write_run_options.h"
#include "image/whole_file.h"
#include "record/record_store.h"
#include "record/sha256.h"
#include "record/station_name.h"
#include "record/utc_time.h"
#include "serial/held_port.h"
#include "serial/serial_ports.h"
#include "serial/text_conversion.h"
#include "update/update_thread.h"
#include "velmora_version.h"

namespace {

// How often the main thread looks at the runs: the progress lines' clocks and the stops.
const int kWatchMilliseconds = 200;

// One board: its own module (with its port and reader thread), console and update thread.
struct Board {
    std::string port;
    std::string label;
    std::unique_ptr<ModUpdate1527> module;
    HeldPort* heldPort = nullptr;  // the module's link, held from its first opening to Release
    std::unique_ptr<BoardConsole> console;
    std::unique_ptr<UpdateThread> run;
    bool started = false;
    bool ended = false;
    RunOutcome outcome;
    BoardIdentity identity;
    RunConclusion conclusion{kExitProgrammed, false, std::string()};
};

std::string LastPart(const std::string& port) {
    const size_t separator = port.find_last_of("/\\");
    return separator == std::string::npos ? port : port.substr(separator + 1);
}

// What the boards' lines call each port: the last part of its path (ttyUSB0, COM3), unless two
// of them share it.
std::vector<std::string> PortLabels(const std::vector<std::string>& ports) {
    std::vector<std::string> labels;
    for (const std::string& port : ports) {
        labels.push_back(LastPart(port));
    }
    for (size_t i = 0; i < labels.size(); ++i) {
        for (size_t j = i + 1; j < labels.size(); ++j) {
            if (labels[i] == labels[j]) {
                return ports;
            }
        }
    }
    return labels;
}

// With several boards, each log file is named after its port: run.log gives run.ttyUSB0.log.
std::string LogPathFor(const std::string& logPath, const std::string& label, bool several) {
    if (logPath.empty() || !several) {
        return logPath;
    }
    std::string name;
    for (const char c : label) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        name += plain ? c : '_';
    }
    const size_t dot = logPath.rfind('.');
    const size_t separator = logPath.find_last_of("/\\");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        return logPath + "." + name;
    }
    return logPath.substr(0, dot) + "." + name + logPath.substr(dot);
}

bool AllFinished(const std::vector<Board>& boards) {
    for (const Board& board : boards) {
        if (!board.run->IsFinished()) {
            return false;
        }
    }
    return true;
}

// Each board whose run has ended, once: its outcome kept and `ended` told, on this thread.
void CollectEnded(std::vector<Board>& boards, const std::function<void(Board&)>& ended) {
    for (Board& board : boards) {
        if (!board.ended && (!board.started || board.run->IsFinished())) {
            if (board.started) {
                board.outcome = board.run->Outcome();
            }
            board.ended = true;
            ended(board);
        }
    }
}

// Runs every board's update thread to its end; a stop request ends them all before their next
// frame, a second one cuts their ways out's waits short as well.
void RunAll(std::vector<Board>& boards, StopWatch& interrupts, Streams& streams,
            const std::function<void(Board&)>& ended) {
    for (Board& board : boards) {
        board.started = board.run->Start(0);
        if (!board.started) {
            board.outcome.end = RunEnd::StepFailed;
            board.outcome.step = Step::ConnectTest;
            std::lock_guard<Mutex> guard(streams.Lock());
            streams.Complain(board.label + ": cannot start the update's thread");
        }
    }
    int handled = 0;
    while (!AllFinished(boards)) {
        const int caught = interrupts.Wait(kWatchMilliseconds);
        const StopActions actions = ActionsFor(handled, caught);
        if (caught > handled) {
            for (Board& board : boards) {
                if (actions.interrupt) {
                    board.module->Interrupt();
                }
                if (actions.abort) {
                    board.module->Abort();
                }
            }
            if (actions.interrupt) {
                std::lock_guard<Mutex> guard(streams.Lock());
                streams.Complain(StopText(interrupts.First(), StopStage::Stopping));
            }
            handled = caught;
        }
        CollectEnded(boards, ended);
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.DrawProgress();
    }
    CollectEnded(boards, ended);
}

// The process's exit code: one board's own; for several, 0 when every board is programmed, the
// signal's when a stop ended them, else the code of its own.
int ProcessExitCode(const std::vector<BoardResult>& results, StopSignal stop) {
    if (results.size() == 1) {
        return results.front().conclusion.exitCode;
    }
    bool failed = false;
    for (const BoardResult& result : results) {
        failed = failed || result.conclusion.failure;
    }
    if (!failed) {
        return kExitProgrammed;
    }
    return stop != StopSignal::None ? StopExitCode(stop) : kExitSomeBoardsFailed;
}

// Ends a write before any port opens: the one line is said once, however many boards wait.
int Refuse(std::vector<Board>& boards, const RunConclusion& refused) {
    for (size_t i = 0; i < boards.size(); ++i) {
        boards[i].console->Conclude(refused, RunOutcome(), false, i > 0);
    }
    return refused.exitCode;
}

// What every board's row shares.
RunStart RunStartOf(const WriteRequest& request,
                    const std::shared_ptr<const FirmwareImage>& image) {
    RunStart start;
    start.startedAt = UtcTimestamp(std::chrono::system_clock::now());
    start.station = StationName();
    start.firmware = request.file;
    // The file was just loaded from these bytes.
    std::unique_ptr<char[]> bytes;
    int32_t size = 0;
    if (ReadWholeFile(WideFromUtf8(request.file), bytes, size) == WholeFileRead::Ok) {
        start.firmwareSha256 = Sha256Hex(bytes.get(), static_cast<size_t>(size));
    }
    start.imageSum = UserMatSum(*image);
    start.bitRate = request.bitRates.empty() ? kProgrammingBitRate : request.bitRates.front();
    start.velmoraVersion = VELMORA_VERSION_TEXT;
    return start;
}

// A station's ports, each with its console, and what every board shares.
StationPlan StationPlanOf(const WriteRequest& request, const std::vector<Board>& boards,
                          const std::vector<std::string>& adapters,
                          const std::shared_ptr<const FirmwareImage>& image,
                          const NumberingPlan& numbering, RecordStore* store) {
    StationPlan plan;
    for (size_t i = 0; i < boards.size(); ++i) {
        plan.ports.push_back(
            {boards[i].port, boards[i].label, adapters[i], boards[i].console.get()});
    }
    plan.image = image;
    plan.numbering = numbering;
    plan.store = store;
    plan.options = WriteRunOptions(request);
    plan.count = request.count;
    plan.table = !request.json;
    return plan;
}

}  // namespace

int WriteCommand(const WriteRequest& request, const Surroundings& surroundings) {
    const bool several = request.ports.size() > 1;
    const std::vector<std::string> labels = PortLabels(request.ports);
    // --json carries the progress in its objects.
    const bool progressShown = !request.quiet && !request.json;
    const ConsoleFiles& console = surroundings.console;
    Streams streams(!progressShown             ? ProgressDisplay::None
                    : console.errorsIsTerminal ? ProgressDisplay::Terminal
                                               : ProgressDisplay::Lines,
                    console);

    std::vector<std::string> logPaths;
    for (const std::string& label : labels) {
        logPaths.push_back(LogPathFor(request.logPath, label, several));
    }
    const std::string logProblem = LogFilesProblem(request.file, request.ports, logPaths);
    if (!logProblem.empty()) {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Complain(logProblem);
        return kExitUsage;
    }

    std::vector<Board> boards(request.ports.size());
    for (size_t i = 0; i < boards.size(); ++i) {
        Board& board = boards[i];
        board.port = request.ports[i];
        board.label = labels[i];
        BoardOutput output;
        output.label = labels[i];
        output.prefixed = several;
        output.json = request.json;
        output.quiet = request.quiet;
        output.logPath = logPaths[i];
        output.bitRate = request.bitRates.empty() ? kProgrammingBitRate : request.bitRates.front();
        board.console.reset(new BoardConsole(streams, output));
        std::string problem;
        if (!board.console->OpenLog(&problem)) {
            std::lock_guard<Mutex> guard(streams.Lock());
            streams.Complain(problem);
            return kExitUsage;
        }
    }

    // Loaded once, before any port is opened; every board's log begins with the load's.
    BoardOutput loadOutput;
    loadOutput.json = request.json;
    loadOutput.quiet = request.quiet;
    BoardConsole loading(streams, loadOutput);
    // Shared read-only by every board's run.
    std::shared_ptr<const FirmwareImage> image;
    // Opened and shown as given: the window's upper-casing would break a case-sensitive path.
    const std::string failure = LoadInput(request.file, request.input, image, loading);
    loading.Close();
    const std::string loadLog = loading.LogText();
    for (Board& board : boards) {
        board.console->LogToFile(loadLog);
    }
    if (!failure.empty()) {
        return Refuse(boards, {kExitFileRefused, true, failure});
    }
    if (request.serial) {
        const std::string problem = SerialPlaceProblem(*image, *request.serial);
        if (!problem.empty()) {
            return Refuse(boards, {kExitFileRefused, true, problem});
        }
    }

    // Every board's number and row before any port opens: no board is programmed unrecorded.
    std::unique_ptr<RecordStore> store;
    NumberingPlan plan;
    plan.serial = request.serial;
    plan.serialStart = request.serialStart;
    std::vector<std::string> adapters(boards.size());
    if (!request.record.empty()) {
        std::string problem;
        store = OpenRecordStore(request.record, RecordAccess::Write, problem);
        if (store) {
            problem = store->Prepare();
        }
        if (!problem.empty()) {
            return Refuse(boards, {kExitRecordFailed, true, problem});
        }
        plan.start = RunStartOf(request, image);
        const std::vector<SerialPortName> known = ListSerialPorts();
        for (size_t i = 0; i < boards.size(); ++i) {
            adapters[i] = AdapterName(boards[i].port, known);
        }
    }
    if (request.repeat) {
        return RunStation(StationPlanOf(request, boards, adapters, image, plan, store.get()),
                          streams, surroundings);
    }
    std::vector<BoardIdentity> identities;
    const std::string numbering =
        NumberBoards(request.ports, adapters, image, plan, store.get(), identities);
    if (!numbering.empty()) {
        return Refuse(boards, {kExitRecordFailed, true, numbering});
    }

    // Watching before the runs' threads start, and until every port is closed.
    const std::unique_ptr<StopWatch> watch = surroundings.stops();
    StopWatch& interrupts = *watch;
    const RunOptions options = WriteRunOptions(request);
    for (size_t i = 0; i < boards.size(); ++i) {
        Board& board = boards[i];
        UpdateJob job;
        job.portName = WideFromUtf8(board.port);
        board.identity = identities[i];
        board.console->SetSerial(board.identity.serial);
        job.image = board.identity.image;
        job.options = options;
        BoardLine line = surroundings.line(board.port);
        std::unique_ptr<HeldPort> port =
            std::make_unique<HeldPort>(std::move(line.link), std::make_unique<PortLock>());
        board.heldPort = port.get();
        board.module.reset(new ModUpdate1527(std::move(port), std::move(line.clock)));
        board.run.reset(new UpdateThread(*board.module, *board.console, job));
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Show(board.console.get());
    }
    bool recordFailed = false;
    RunAll(boards, interrupts, streams, [&](Board& board) {
        board.conclusion = WithSerial(ConcludeRun(board.outcome, interrupts.First(), board.port),
                                      board.identity.serial);
        if (store && board.identity.ticket) {
            const std::string problem =
                store->Finish(*board.identity.ticket, FinishedRun(board.conclusion, board.outcome));
            if (!problem.empty()) {
                recordFailed = true;
                std::lock_guard<Mutex> guard(streams.Lock());
                streams.Complain(board.label + ": " + problem);
            }
        }
    });
    // Whatever way out each run took, no port is left open, and then none is held.
    for (Board& board : boards) {
        board.module->CloseCom();
        board.heldPort->Release();
    }
    {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.EraseProgress();
    }

    std::vector<BoardResult> results;
    for (Board& board : boards) {
        board.console->Conclude(board.conclusion, board.outcome, options.verify);
        board.console->Close();
        results.push_back({board.label, board.conclusion, board.outcome, board.identity.serial});
    }
    if (several && !request.json && !request.quiet) {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Print("\n" + ResultsTable(results, options.verify));
    }
    // A closing console ends the process once this is signalled: only now is everything said.
    interrupts.WayOutDone();
    const int exitCode = ProcessExitCode(results, interrupts.First());
    // Programmed, but the record does not say so.
    return recordFailed && exitCode == kExitProgrammed ? kExitRecordFailed : exitCode;
}
