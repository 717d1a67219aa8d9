// The operator of one board's run, and of the load before it, on velmora-cli's streams: the log
// on standard output (or JSON Lines) and in the board's log file, its progress on standard error,
// and its outcome.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/json_lines.h"
#include "cli/progress_line.h"
#include "cli/run_conclusion.h"
#include "update/operator.h"

class Streams;

struct BoardOutput {
    // The port as the board's lines and JSON objects name it; empty for the load, which belongs to
    // no board.
    std::string label;
    bool prefixed = false;  // several boards: each line on standard output starts with the label
    bool json = false;      // standard output carries JSON Lines instead of the log text
    bool quiet = false;     // standard output stays silent; errors still reach standard error
    std::string logPath;    // the whole log, CR LF as the window shows it; empty for none
    int bitRate = 0;        // the rate [08] moves the link to first, as its header names it
};

// Every member but the constructor and OpenLog expects the streams' lock to be free, except
// ProgressLine and DueProgressReport, which the streams call with it held.
class BoardConsole final : public Operator {
public:
    BoardConsole(Streams& streams, const BoardOutput& output);
    ~BoardConsole() override;
    BoardConsole(const BoardConsole&) = delete;
    BoardConsole& operator=(const BoardConsole&) = delete;

    // False, with the reason, when the log file cannot be created.
    bool OpenLog(std::string* error);

    // A terminal's output cannot be taken back: the log only grows, and ClearLog does nothing.
    // There is no file-name box, no bar (the progress line shows the time instead), no controls
    // (a command line runs one command) and no check box.
    void AppendLog(const wchar_t* text) override;
    void SetStatusText(const wchar_t* text) override;
    void SetProgress(int position, int maximum) override;
    void SetReadBackProgress(int done, int total) override;
    // The step under way, named by its header, for the progress line.
    void StepStarted(Step step) override;
    void StepEnded(Step step, bool succeeded) override;
    // Said on standard error too: the run takes longer than the operator asked for. The next
    // attempt's headers name the next rate.
    void BitRateFellBack(Step step, int failedRate, int nextRate) override;
    // Said on standard error too; the run's headers name the rate it starts at.
    void BitRateSkipped(int refusedRate, const std::string& why, int startRate) override;
    // Said on standard error too, with the failure's cause.
    void StartingOver(Step step, const StepFailure& failure, int retry, int retries) override;

    // Text for the log file alone, as the window shows it: the load's log in each board's file.
    void LogToFile(const std::string& text);
    // Everything logged so far, as the window shows it.
    std::string LogText() const;
    // The board's own serial number, for its result object; called before its run starts.
    void SetSerial(std::optional<uint32_t> serial) { serial_ = serial; }
    // A station's next board on this port: its run starts afresh, with its own number.
    void BeginBoard(std::optional<uint32_t> serial);
    // A station's state of the port between boards ("waiting for a board"), which its terminal
    // line shows instead of a run's progress until the next board begins; elsewhere a plain line
    // on standard error.
    void SetStationNote(const std::string& note);
    // With --json, one object of the event `name` for this port ("waiting", "removed").
    void StationEvent(const char* name);
    // The outcome, as the last line of the log (and, for a failure, the one line on standard
    // error unless `complained` already), or as the board's result object.
    void Conclude(const RunConclusion& conclusion, const RunOutcome& outcome, bool verify,
                  bool complained = false);
    // The rest of an unfinished line, and the log file closed.
    void Close();

    // With the streams' lock held: "[11] PROGRAMMING  blocks 12/49 ...", cut to `width`.
    std::string ProgressLine(size_t width) const;
    // With the streams' lock held: "ttyUSB0: [11] 12/49 blocks, 0:19 left" when a plain line is
    // due, else empty; a line returned counts as shown.
    std::string DueProgressReport();

private:
    // Quiet, the error's line goes to standard error as well.
    void ErrorReported(const std::string& line) override;
    // Lock held: text kept as the log, CR LF as the window shows it, and in the log file.
    void Keep(const std::string& text);
    // Lock held: the window's log text, on standard output and in the log file.
    void WriteLog(const wchar_t* text);
    // Lock held: complete lines to standard output, prefixed or as JSON.
    void EmitLines(bool flush);
    // An object of the event `name` for this board's port.
    JsonObject Event(const char* name) const;
    // Lock held: blocks `position` of `maximum` of the programming or the read-back.
    void NoteProgress(bool readBack, int position, int maximum);
    // The snapshot as it stands now.
    ProgressSnapshot Snapshot() const;
    // Lock held: one JSON object on standard output.
    void Emit(const JsonObject& object);

    Streams& streams_;
    const BoardOutput output_;
    std::FILE* logFile_ = nullptr;
    std::string log_;      // everything logged, CR LF as the window shows it
    std::string pending_;  // standard output's unfinished line, prefixed or JSON only
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point phaseStarted_;  // the programming's or the read-back's
    bool inPhase_ = false;
    ProgressSnapshot progress_;
    ProgressPace pace_;
    int bitRate_;  // the rate of the attempt under way
    std::optional<uint32_t> serial_;
    std::string note_;  // a station's state between boards; empty during a run
};
