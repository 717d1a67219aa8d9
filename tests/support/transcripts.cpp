// Reads the expected transcripts from the source tree (a Unix path, which Wine opens too).
#include "support/transcripts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

const char kPortPlaceholder[] = "{port}";

}  // namespace

std::string ReadTranscript(const std::string& name, const std::string& port) {
    const std::string path = std::string(VELMORA_TEST_DATA) + "/" + name + ".txt";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read the transcript " << path;
        return "";
    }
    const std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string text;
    for (char c : stored) {
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const std::string placeholder = kPortPlaceholder;
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + port.size())) {
        text.replace(at, placeholder.size(), port);
    }
    return text;
}

std::string TranscriptBefore(const std::string& name, const std::string& port,
                             const std::string& marker) {
    const std::string text = ReadTranscript(name, port);
    const size_t at = text.find(marker);
    if (at == std::string::npos) {
        ADD_FAILURE() << "the transcript " << name << " has no \"" << marker << "\"";
        return text;
    }
    return text.substr(0, at);
}
