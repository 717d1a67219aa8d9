// The event log: one JSON object per line, time-stamped and flushed at once so tests can follow it,
// or kept in memory for a test in the same process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sim_clock.h"

namespace board_sim {

class EventLog;

// One record under construction; it is written when the expression that built it ends.
class LogRecord {
public:
    LogRecord(EventLog& log, const char* kind);
    ~LogRecord();
    LogRecord(const LogRecord&) = delete;
    LogRecord& operator=(const LogRecord&) = delete;

    LogRecord& Text(const char* name, const std::string& value);
    LogRecord& Number(const char* name, long long value);
    LogRecord& Real(const char* name, double value);
    LogRecord& Flag(const char* name, bool value);
    // Bytes as upper-case hex pairs separated by spaces, e.g. "50 B0".
    LogRecord& Hex(const char* name, const uint8_t* bytes, size_t count);
    LogRecord& Byte(const char* name, uint8_t value) { return Hex(name, &value, 1); }
    // A value that is already JSON (an object or array).
    LogRecord& Json(const char* name, const std::string& json);

private:
    void Name(const char* name);

    EventLog& log_;
    std::string line_;
};

class EventLog {
public:
    // Records carry the time `now` tells when they are made, in seconds since the log was created:
    // the steady clock's for a board on a pseudo-terminal, the virtual time of one in process.
    explicit EventLog(std::function<TimePoint()> now);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // "-" writes to standard error. Records written before a successful Open are dropped.
    bool Open(const std::string& path, std::string* error);
    // Keeps every line from now on in memory as well, without its line end.
    void KeepLines() { keepLines_ = true; }
    const std::vector<std::string>& Lines() const { return lines_; }
    LogRecord Record(const char* kind) { return LogRecord(*this, kind); }

private:
    friend class LogRecord;
    double SecondsSinceStart() const;
    void WriteLine(const std::string& line);

    const std::function<TimePoint()> now_;
    const TimePoint start_;
    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool keepLines_ = false;
    std::vector<std::string> lines_;
};

std::string JsonQuoted(const std::string& text);

}  // namespace board_sim
