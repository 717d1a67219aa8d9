// Records the operator's calls under a lock.
#include "support/recording_operator.h"

#include <mutex>

RecordingOperator::RecordingOperator(bool characterCommandChecked)
    : characterCommandChecked_(characterCommandChecked) {}

void RecordingOperator::Record(const OperatorCall& call) {
    std::lock_guard<Mutex> guard(lock_);
    calls_.push_back(call);
}

void RecordingOperator::Reset() {
    std::lock_guard<Mutex> guard(lock_);
    calls_.clear();
}

std::vector<OperatorCall> RecordingOperator::Calls() const {
    std::lock_guard<Mutex> guard(lock_);
    return calls_;
}

std::wstring RecordingOperator::LogText() const {
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

void RecordingOperator::AppendLog(const wchar_t* text) {
    Record({OperatorCall::Log, text, 0, 0});
}

void RecordingOperator::ClearLog() {
    Record({OperatorCall::Clear, L"", 0, 0});
}

void RecordingOperator::SetStatusText(const wchar_t* text) {
    Record({OperatorCall::Status, text, 0, 0});
}

void RecordingOperator::SetFileName(const wchar_t* text) {
    Record({OperatorCall::FileName, text, 0, 0});
}

void RecordingOperator::SetProgress(int position, int maximum) {
    Record({OperatorCall::Progress, L"", position, maximum & 0xFFFF});
}

void RecordingOperator::SetMarquee(bool on) {
    Record({OperatorCall::Marquee, L"", on ? 1 : 0, 0});
}

void RecordingOperator::StepStarted(Step step) {
    Record({OperatorCall::StepStart, L"", StepNumber(step), 0});
}

void RecordingOperator::StepEnded(Step step, bool succeeded) {
    Record({OperatorCall::StepEnd, L"", StepNumber(step), succeeded ? 1 : 0});
}

void RecordingOperator::EnableControls() {
    Record({OperatorCall::Enable, L"", 0, 0});
}

void RecordingOperator::DisableControls() {
    Record({OperatorCall::Disable, L"", 0, 0});
}

bool RecordingOperator::IsCharacterCommandChecked() {
    return characterCommandChecked_;
}
