// Cuts 8-bit text into a list of pieces at any of a set of delimiter characters.
#include "image/split_string.h"

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> pieces;
    ForEachPiece(text.data(), text.size(), delimiters,
                 [&pieces](const char* piece, std::size_t length) {
                     pieces.emplace_back(piece, length);
                     return true;
                 });
    return pieces;
}
