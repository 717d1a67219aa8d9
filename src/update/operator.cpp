// The operator's 8-bit entries, converted for the front end's wide text.
#include "update/operator.h"

#include "serial/text_conversion.h"

void Operator::AppendLogA(const char* text) {
    AppendLog(AnsiToWide(text).c_str());
}

void Operator::SetStatusTextA(const char* text) {
    SetStatusText(AnsiToWide(text).c_str());
}
