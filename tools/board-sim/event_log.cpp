// JSON-lines event log of the simulated board.
#include "event_log.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace board_sim {

std::string JsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

LogRecord::LogRecord(EventLog& log, const char* kind) : log_(log) {
    char head[64];
    std::snprintf(head, sizeof head, "{\"t\":%.6f", log.SecondsSinceStart());
    line_ = head;
    Text("kind", kind);
}

LogRecord::~LogRecord() {
    line_ += "}\n";
    log_.WriteLine(line_);
}

void LogRecord::Name(const char* name) {
    line_ += ",\"";
    line_ += name;
    line_ += "\":";
}

LogRecord& LogRecord::Text(const char* name, const std::string& value) {
    Name(name);
    line_ += JsonQuoted(value);
    return *this;
}

LogRecord& LogRecord::Number(const char* name, long long value) {
    Name(name);
    line_ += std::to_string(value);
    return *this;
}

LogRecord& LogRecord::Real(const char* name, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    Name(name);
    line_ += text;
    return *this;
}

LogRecord& LogRecord::Flag(const char* name, bool value) {
    Name(name);
    line_ += value ? "true" : "false";
    return *this;
}

LogRecord& LogRecord::Hex(const char* name, const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return Text(name, text);
}

LogRecord& LogRecord::Json(const char* name, const std::string& json) {
    Name(name);
    line_ += json;
    return *this;
}

EventLog::EventLog(std::function<TimePoint()> now) : now_(std::move(now)), start_(now_()) {}

EventLog::~EventLog() {
    if (ownsFile_ && file_ != nullptr) {
        std::fclose(file_);
    }
}

bool EventLog::Open(const std::string& path, std::string* error) {
    if (path == "-") {
        file_ = stderr;
        return true;
    }
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        *error = "cannot open the event log " + path + ": " + std::strerror(errno);
        return false;
    }
    ownsFile_ = true;
    return true;
}

double EventLog::SecondsSinceStart() const {
    return std::chrono::duration<double>(now_() - start_).count();
}

void EventLog::WriteLine(const std::string& line) {
    if (keepLines_) {
        lines_.push_back(line.substr(0, line.size() - 1));
    }
    if (file_ == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace board_sim
