// Records the operator routines' calls; safe to call from the update thread while a test reads.
#include "support/recording_operator.h"

#include <mutex>

#include "update/operator_routines.h"
#include "serial/text_conversion.h"
#include "serial/thread_sync.h"

namespace {

Mutex lock;
std::vector<OperatorCall> calls;
std::wstring selectedPort;
bool checkBoxTicked = false;

void Record(OperatorCall call) {
    std::lock_guard<Mutex> guard(lock);
    calls.push_back(call);
}

}  // namespace

namespace recording_operator {

void Reset(const std::wstring& portName, bool characterCommandChecked) {
    std::lock_guard<Mutex> guard(lock);
    calls.clear();
    selectedPort = portName;
    checkBoxTicked = characterCommandChecked;
}

std::vector<OperatorCall> Calls() {
    std::lock_guard<Mutex> guard(lock);
    return calls;
}

std::wstring LogText() {
    std::wstring text;
    for (const OperatorCall& call : Calls()) {
        if (call.kind == OperatorCall::Clear) {
            text.clear();
        } else if (call.kind == OperatorCall::Log) {
            text += call.text;
        }
    }
    return text;
}

}  // namespace recording_operator

void AppendLog(const wchar_t* text) {
    Record({OperatorCall::Log, text, 0, 0});
}

void AppendLogA(const char* text) {
    AppendLog(AnsiToWide(text));
}

void ReportError(const char* text) {
    if (text == nullptr) {
        return;
    }
    AppendLog((std::wstring(L"Error occured : ") + AnsiToWide(text)).c_str());
    AppendLog(L"\r\n");
}

void ClearLog() {
    Record({OperatorCall::Clear, L"", 0, 0});
}

void SetStatusText(const wchar_t* text) {
    Record({OperatorCall::Status, text, 0, 0});
}

void SetStatusTextA(const char* text) {
    SetStatusText(AnsiToWide(text));
}

void SetProgress(int position, int maximum) {
    Record({OperatorCall::Progress, L"", position, maximum & 0xFFFF});
}

void SetMarquee(bool on) {
    Record({OperatorCall::Marquee, L"", on ? 1 : 0, 0});
}

void EnableControls() {
    Record({OperatorCall::Enable, L"", 0, 0});
}

void DisableControls() {
    Record({OperatorCall::Disable, L"", 0, 0});
}

std::wstring ReadSelectedPortName() {
    std::lock_guard<Mutex> guard(lock);
    return selectedPort;
}

bool IsCharacterCommandChecked() {
    std::lock_guard<Mutex> guard(lock);
    return checkBoxTicked;
}
