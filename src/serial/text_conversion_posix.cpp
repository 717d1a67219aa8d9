// Wide (UTF-32) <-> UTF-8 conversion for the native build, independent of the process locale.
// A byte that is not part of valid UTF-8 becomes a lone low surrogate, U+DC80 to U+DCFF, and turns
// back into that byte: a Linux file name is any bytes, and it must open as given.
#include "serial/text_conversion.h"

#include <cwchar>

namespace {

const char32_t kReplacement = 0xFFFD;
// Where the bytes 0x80 to 0xFF of malformed UTF-8 stand in wide text.
const char32_t kEscapedBytes = 0xDC00;

bool IsEscapedByte(char32_t code) {
    return code >= kEscapedBytes + 0x80 && code <= kEscapedBytes + 0xFF;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (IsEscapedByte(code)) {
        out.push_back(static_cast<char>(code - kEscapedBytes));
        return;
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        code = kReplacement;
    }
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at text; a malformed one yields its first byte escaped and consumes
// that byte.
char32_t DecodeUtf8(const unsigned char*& text) {
    unsigned char lead = *text++;
    if (lead < 0x80) {
        return lead;
    }
    const char32_t escaped = kEscapedBytes + lead;
    int extra = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (extra < 0 || lead > 0xF4) {
        return escaped;
    }
    char32_t code = lead & (0x3F >> extra);
    const unsigned char* next = text;
    for (int i = 0; i < extra; ++i, ++next) {
        if ((*next & 0xC0) != 0x80) {
            return escaped;
        }
        code = (code << 6) | (*next & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return escaped;
    }
    text = next;
    return code;
}

}  // namespace

std::string WideToAnsi(const wchar_t* text) {
    std::string ansi;
    for (; text != nullptr && *text != L'\0'; ++text) {
        AppendUtf8(ansi, static_cast<char32_t>(*text));
    }
    return ansi;
}

std::wstring AnsiToWide(const char* text) {
    std::wstring wide;
    const unsigned char* bytes =
        reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*bytes != 0) {
        wide.push_back(static_cast<wchar_t>(DecodeUtf8(bytes)));
    }
    return wide;
}

std::wstring WideFromUtf8(const std::string& text) {
    return AnsiToWide(text.c_str());
}

std::string Utf8FromWide(const std::wstring& text) {
    return WideToAnsi(text.c_str());
}
