// The station: one thread a port waits for a board, programs it and waits for it to be taken
// out, over and over; the main thread watches for stops and draws the ports' lines.
//
// Threads: each port's thread owns its module and runs every probe and every board's update on
// it (the update thread's body runs there, not on a thread of its own); it writes the port's
// results, which the main thread reads once the thread has finished. The book (the count, the
// numbers and the record) is shared under its own lock. A stop is taken on the main thread, which
// notes it in the book (an atomic) and interrupts every module: a probe ends at once, a board's
// run takes its way out, and each port's thread ends.
#include "cli/station.h"

#include <atomic>
#include <chrono>
#include <mutex>

#include "bootmode/mod_update_1527.h"
#include "cli/board_console.h"
#include "cli/exit_codes.h"
#include "cli/results_table.h"
#include "cli/stop_actions.h"
#include "cli/stop_text.h"
#include "cli/streams.h"
#include "cli/surroundings.h"
#include "record/utc_time.h"
#include "serial/held_port.h"
#include "serial/text_conversion.h"

namespace {

const int kWatchMilliseconds = 200;
// A probe starts no sooner than this after the last one began.
const int kProbeMilliseconds = 1000;
// A board counts as taken out after this many probes in a row without an answer: a board that
// misses the probe's reset (the port reopens at once) stays in its firmware and says nothing once.
const int kSilentProbes = 2;

const char kTakeOut[] = " \xE2\x80\x94 take the board out";

// What the ports share: how many boards were taken on, their numbers and their rows.
class StationBook {
public:
    explicit StationBook(const StationPlan& plan) : plan_(plan) {}

    // A board answered: whether it is one the station still programs.
    bool Claim() {
        std::lock_guard<Mutex> guard(lock_);
        if (OverLocked()) {
            return false;
        }
        ++claimed_;
        return true;
    }

    // No board is left to program: the count is taken on, a stop came or the record failed.
    bool Over() {
        std::lock_guard<Mutex> guard(lock_);
        return OverLocked();
    }

    // The claimed board's number, image and row; the problem, empty when it has them.
    std::string Identify(const StationPort& port, BoardIdentity& identity) {
        std::lock_guard<Mutex> guard(lock_);
        NumberingPlan numbering = plan_.numbering;
        numbering.start.startedAt = UtcTimestamp(std::chrono::system_clock::now());
        if (plan_.store == nullptr && numbering.serialStart) {
            *numbering.serialStart += numbered_;
        }
        std::vector<BoardIdentity> identities;
        const std::string problem = NumberBoards({port.port}, {port.adapter}, plan_.image,
                                                 numbering, plan_.store, identities);
        if (problem.empty()) {
            identity = identities.front();
            ++numbered_;
        } else {
            // Without a number or a row no board may be programmed any more.
            recordFailed_ = true;
        }
        return problem;
    }

    // The board's row completed; the problem, empty when it is kept.
    std::string Finish(const BoardIdentity& identity, const RunConclusion& conclusion,
                       const RunOutcome& outcome) {
        if (plan_.store == nullptr || !identity.ticket) {
            return std::string();
        }
        std::lock_guard<Mutex> guard(lock_);
        const std::string problem =
            plan_.store->Finish(*identity.ticket, FinishedRun(conclusion, outcome));
        recordFailed_ = recordFailed_ || !problem.empty();
        return problem;
    }

    void Stop(StopSignal stop) { stop_.store(static_cast<int>(stop)); }
    StopSignal Stopped() const { return static_cast<StopSignal>(stop_.load()); }
    bool RecordFailed() {
        std::lock_guard<Mutex> guard(lock_);
        return recordFailed_;
    }

private:
    bool OverLocked() const {
        return Stopped() != StopSignal::None || recordFailed_ ||
               (plan_.count && claimed_ >= *plan_.count);
    }

    const StationPlan& plan_;
    Mutex lock_;
    int claimed_ = 0;
    uint32_t numbered_ = 0;  // boards numbered without a record, for the next number
    bool recordFailed_ = false;
    std::atomic<int> stop_{static_cast<int>(StopSignal::None)};
};

class PortStation final : public CustomThread {
public:
    PortStation(const StationPort& port, const StationPlan& plan, StationBook& book,
                Streams& streams, BoardLine line)
        : port_(port), plan_(plan), book_(book), streams_(streams) {
        std::unique_ptr<HeldPort> link =
            std::make_unique<HeldPort>(std::move(line.link), std::make_unique<PortLock>());
        held_ = link.get();
        module_ = std::make_unique<ModUpdate1527>(std::move(link), std::move(line.clock));
    }

    void Run(int32_t) override {
        bool opened = false;
        for (;;) {
            port_.console->SetStationNote("waiting for a board");
            port_.console->StationEvent("waiting");
            if (!AwaitPresence(BoardPresence::Answered, opened) || !book_.Claim()) {
                return;
            }
            ProgramBoard();
            if (book_.Over()) {
                return;
            }
            if (!AwaitPresence(BoardPresence::Silent, opened)) {
                return;
            }
            port_.console->StationEvent("removed");
        }
    }

    ModUpdate1527& Module() { return *module_; }
    // Once the thread has finished.
    const std::vector<BoardResult>& Results() const { return results_; }
    void Close() {
        module_->CloseCom();
        held_->Release();
    }

private:
    // Probes at most once a kProbeMilliseconds until a probe finds `wanted`: an answer, or for
    // Silent kSilentProbes without one in a row; false when the station is over first, or when
    // the port cannot be opened before it ever was, which ends the port as a failed board.
    bool AwaitPresence(BoardPresence wanted, bool& opened) {
        WaitClock& clock = module_->Clock();
        int silent = 0;
        for (;;) {
            if (book_.Over()) {
                return false;
            }
            const std::chrono::nanoseconds began = clock.Now();
            const BoardPresence found = module_->Probe(port_.port.c_str());
            if (found == BoardPresence::Unusable && !opened) {
                FailPort();
                return false;
            }
            opened = opened || found != BoardPresence::Unusable;
            silent = found == BoardPresence::Answered ? 0 : silent + 1;
            const bool seen =
                wanted == BoardPresence::Answered ? silent == 0 : silent >= kSilentProbes;
            if (seen) {
                return true;
            }
            const long long spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - began).count();
            if (spent < kProbeMilliseconds) {
                module_->Pause(static_cast<int>(kProbeMilliseconds - spent));
            }
        }
    }

    // A port that never opened: its one result says why, as a run's [01] would.
    void FailPort() {
        RunOutcome outcome;
        outcome.end = RunEnd::StepFailed;
        outcome.step = Step::ConnectTest;
        outcome.failure = module_->Failure();
        const RunConclusion conclusion = ConcludeRun(outcome, book_.Stopped(), port_.port);
        port_.console->Conclude(conclusion, outcome, plan_.options.verify);
        results_.push_back({port_.label, conclusion, outcome, std::nullopt});
    }

    // The board that answered, numbered, programmed, recorded and told.
    void ProgramBoard() {
        BoardIdentity identity;
        const std::string problem = book_.Identify(port_, identity);
        if (!problem.empty()) {
            const RunConclusion refused{kExitRecordFailed, true, problem};
            port_.console->Conclude(refused, RunOutcome(), plan_.options.verify);
            results_.push_back({port_.label, refused, RunOutcome(), std::nullopt});
            return;
        }
        port_.console->BeginBoard(identity.serial);
        UpdateJob job;
        job.portName = WideFromUtf8(port_.port);
        job.image = identity.image;
        job.options = plan_.options;
        UpdateThread run(*module_, *port_.console, job);
        run.Run(0);
        const RunOutcome outcome = run.Outcome();
        const RunConclusion conclusion =
            WithSerial(ConcludeRun(outcome, book_.Stopped(), port_.port), identity.serial);
        const std::string unkept = book_.Finish(identity, conclusion, outcome);
        if (!unkept.empty()) {
            std::lock_guard<Mutex> guard(streams_.Lock());
            streams_.Complain(port_.label + ": " + unkept);
        }
        port_.console->Conclude(conclusion, outcome, plan_.options.verify);
        results_.push_back({port_.label, conclusion, outcome, identity.serial});
        port_.console->SetStationNote(Verdict(conclusion, outcome, identity));
    }

    // "PASS 5012 — take the board out", "FAIL [11] 5012 — take the board out": the number, or
    // the port without one.
    std::string Verdict(const RunConclusion& conclusion, const RunOutcome& outcome,
                        const BoardIdentity& identity) const {
        std::string verdict = conclusion.failure ? "FAIL " : "PASS ";
        if (conclusion.failure && outcome.step != Step::None) {
            verdict += FormatStep(outcome.step) + " ";
        }
        verdict += identity.serial ? std::to_string(*identity.serial) : port_.label;
        return verdict + kTakeOut;
    }

    static std::string FormatStep(Step step) {
        const int number = StepNumber(step);
        return std::string("[") + (number < 10 ? "0" : "") + std::to_string(number) + "]";
    }

    const StationPort& port_;
    const StationPlan& plan_;
    StationBook& book_;
    Streams& streams_;
    HeldPort* held_ = nullptr;  // the module's link, held until Close
    std::unique_ptr<ModUpdate1527> module_;
    std::vector<BoardResult> results_;
};

bool AllFinished(std::vector<std::unique_ptr<PortStation>>& stations) {
    for (const std::unique_ptr<PortStation>& station : stations) {
        if (!station->IsFinished()) {
            return false;
        }
    }
    return true;
}

}  // namespace

int RunStation(const StationPlan& plan, Streams& streams, const Surroundings& surroundings) {
    StationBook book(plan);
    // Watching before the ports' threads start, and until every port is closed.
    const std::unique_ptr<StopWatch> watch = surroundings.stops();
    StopWatch& interrupts = *watch;
    std::vector<std::unique_ptr<PortStation>> stations;
    for (const StationPort& port : plan.ports) {
        stations.push_back(
            std::make_unique<PortStation>(port, plan, book, streams, surroundings.line(port.port)));
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Show(port.console);
    }
    for (size_t i = 0; i < stations.size(); ++i) {
        if (!stations[i]->Start(0)) {
            std::lock_guard<Mutex> guard(streams.Lock());
            streams.Complain(plan.ports[i].label + ": cannot start the station's thread");
        }
    }
    int handled = 0;
    while (!AllFinished(stations)) {
        const int caught = interrupts.Wait(kWatchMilliseconds);
        if (caught > handled) {
            const StopActions actions = ActionsFor(handled, caught);
            book.Stop(interrupts.First());
            for (std::unique_ptr<PortStation>& station : stations) {
                if (actions.interrupt) {
                    station->Module().Interrupt();
                }
                if (actions.abort) {
                    station->Module().Abort();
                }
            }
            if (actions.interrupt) {
                std::lock_guard<Mutex> guard(streams.Lock());
                streams.Complain(StopText(interrupts.First(), StopStage::Stopping));
            }
            handled = caught;
        }
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.DrawProgress();
    }
    std::vector<BoardResult> results;
    for (std::unique_ptr<PortStation>& station : stations) {
        station->Close();
        results.insert(results.end(), station->Results().begin(), station->Results().end());
    }
    {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.EraseProgress();
    }
    for (const StationPort& port : plan.ports) {
        port.console->Close();
    }
    if (results.size() > 1 && plan.table) {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Print("\n" + ResultsTable(results, plan.options.verify));
    }
    interrupts.WayOutDone();
    bool failed = false;
    for (const BoardResult& result : results) {
        failed = failed || result.conclusion.failure;
    }
    if (failed && interrupts.First() != StopSignal::None) {
        return StopExitCode(interrupts.First());
    }
    if (book.RecordFailed()) {
        return kExitRecordFailed;
    }
    return failed ? kExitSomeBoardsFailed : kExitProgrammed;
}
