// Cuts 8-bit text into pieces at any of a set of delimiter characters.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Hands every piece of text[0, size) to visit(piece, length), in order: the text is cut at every
// character found in delimiters, so two adjacent delimiters leave an empty piece between them and a
// final delimiter leaves an empty last piece. An empty text has no pieces. Stops early when visit
// returns false. The pieces point into text; nothing is copied.
template <typename Visit>
void ForEachPiece(const char* text, std::size_t size, const std::string& delimiters, Visit visit) {
    if (size == 0) {
        return;
    }
    bool cuts[256] = {};
    for (char delimiter : delimiters) {
        cuts[static_cast<unsigned char>(delimiter)] = true;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (cuts[static_cast<unsigned char>(text[i])]) {
            if (!visit(text + start, i - start)) {
                return;
            }
            start = i + 1;
        }
    }
    visit(text + start, size - start);
}

// The pieces of ForEachPiece as strings, empty ones included.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters);
