// The repair of text into UTF-8, one replacement character a byte that does not fit.
#include "cli/valid_utf8.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// The length of the well-formed sequence at `position`, or 0 when none starts there.
size_t SequenceLength(const std::string& bytes, size_t position) {
    const unsigned char lead = static_cast<unsigned char>(bytes[position]);
    if (lead < 0x80) {
        return 1;
    }
    // The second byte's range depends on the lead: it rules out overlong forms, surrogates and
    // code points past U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    size_t length = 0;
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
    if (position + length > bytes.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(bytes[position + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string ValidUtf8(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    size_t position = 0;
    while (position < bytes.size()) {
        const size_t length = SequenceLength(bytes, position);
        if (length == 0) {
            text += kReplacement;
            ++position;
        } else {
            text.append(bytes, position, length);
            position += length;
        }
    }
    return text;
}
