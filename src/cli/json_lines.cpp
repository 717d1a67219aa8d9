// JSON objects built field by field.
#include "cli/json_lines.h"

#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 for a byte that starts
// none: a stray continuation, an overlong form, a surrogate or a code point past U+10FFFF.
size_t SequenceLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[at + i]);
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

// The text as a JSON string; bytes that are not UTF-8 (a file name on Linux may hold any) become
// U+FFFD, so that every line stays valid UTF-8.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceLength(text, at);
        if (length == 0) {
            quoted += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (length > 1) {
            quoted.append(text, at, length);
            at += length;
            continue;
        }
        const char c = text[at++];
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
