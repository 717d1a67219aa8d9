// The expected transcripts of tests/data, read by the C++ tests as the Python tests read them.
#pragma once

#include <string>

// The transcript tests/data/<name>.txt as the window's log shows it: CR LF line ends, and `port`
// in place of the {port} placeholder. Empty, with a test failure, when it cannot be read.
std::string ReadTranscript(const std::string& name, const std::string& port = "");

// The part of ReadTranscript(name, port) before the first `marker`: the transcript of a run that
// failed there. The whole, with a test failure, when the marker is not in it.
std::string TranscriptBefore(const std::string& name, const std::string& port,
                             const std::string& marker);
