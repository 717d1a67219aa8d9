// JSON objects built field by field.
#include "cli/json_lines.h"

#include <cstdio>

#include "cli/valid_utf8.h"

namespace {

// Names of files and ports may hold any bytes: a line of JSON holds UTF-8 alone.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : ValidUtf8(text)) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

}  // namespace

void JsonObject::Name(const char* name) {
    body_ += body_.empty() ? "{" : ",";
    body_ += Quoted(name) + ":";
}

JsonObject& JsonObject::Text(const char* name, const std::string& utf8) {
    Name(name);
    body_ += Quoted(utf8);
    return *this;
}

JsonObject& JsonObject::Null(const char* name) {
    Name(name);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::Number(const char* name, long long value) {
    Name(name);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Seconds(const char* name, double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    Name(name);
    body_ += text;
    return *this;
}

JsonObject& JsonObject::Flag(const char* name, bool value) {
    Name(name);
    body_ += value ? "true" : "false";
    return *this;
}

std::string JsonObject::Line() const {
    return (body_.empty() ? "{" : body_) + "}\n";
}
