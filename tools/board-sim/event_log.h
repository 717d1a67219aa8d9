// The event log: one JSON object per line, time-stamped and flushed at once so tests can follow it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim_clock.h"

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
    EventLog() = default;
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // "-" writes to standard error. Records written before a successful Open are dropped.
    bool Open(const std::string& path, std::string* error);
    LogRecord Record(const char* kind) { return LogRecord(*this, kind); }
    double SecondsSinceStart(TimePoint when) const;

private:
    friend class LogRecord;
    void WriteLine(const std::string& line);

    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    TimePoint start_ = Clock::now();
};

std::string JsonQuoted(const std::string& text);
