// One JSON object a line, for velmora-cli --json: the names the README documents.
#pragma once

#include <string>

class JsonObject {
public:
    // UTF-8 text, escaped as JSON needs; a byte that is not UTF-8 is written as U+FFFD.
    JsonObject& Text(const char* name, const std::string& utf8);
    JsonObject& Null(const char* name);
    JsonObject& Number(const char* name, long long value);
    JsonObject& Seconds(const char* name, double seconds);
    JsonObject& Flag(const char* name, bool value);
    // The object, closed, with its line end.
    std::string Line() const;

private:
    void Name(const char* name);

    std::string body_;
};
