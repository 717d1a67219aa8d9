// The operator's 8-bit entries, converted for the front end's wide text, and the error line.
#include "update/operator.h"

#include "serial/text_conversion.h"

void Operator::AppendLogA(const char* text) {
    AppendLog(AnsiToWide(text).c_str());
}

void Operator::ReportError(const char* text) {
    if (text == nullptr) {
        return;
    }
    const std::string line = std::string("Error occured : ") + text;
    AppendLog(AnsiToWide(line.c_str()).c_str());
    AppendLog(L"\r\n");
    ErrorReported(line);
}

void Operator::SetStatusTextA(const char* text) {
    SetStatusText(AnsiToWide(text).c_str());
}
