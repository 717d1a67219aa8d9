// HeldPort: the port's lock around the openings of the link it wraps; everything else is the
// link's own.
#include "serial/held_port.h"

#include <utility>

HeldPort::HeldPort(std::unique_ptr<SerialLink> port, std::unique_ptr<PortLock> lock)
    : port_(std::move(port)), lock_(std::move(lock)) {}

void HeldPort::SetEventCallback(RS232CEventCallback callback, void* context) {
    port_->SetEventCallback(callback, context);
}

RS232COpenResult HeldPort::Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                                bool lineEvents) {
    if (!Hold(name)) {
        return RS232COpenResult::DeviceNotOpened;
    }
    return port_->Open(name, bitRate, parity, byteSize, lineEvents);
}

bool HeldPort::Hold(const char* name) {
    refusal_ = PortOpenProblem();
    if (!held_ && name != nullptr) {
        held_ = lock_->Take(name, &refusal_);
        return held_;
    }
    return true;
}

const PortOpenProblem& HeldPort::LastOpenProblem() const {
    return refusal_.kind != PortProblem::None ? refusal_ : port_->LastOpenProblem();
}

void HeldPort::Close() {
    port_->Close();
}

std::vector<RefusedBitRate> HeldPort::RefusedBitRates(const char* name,
                                                      const std::vector<int32_t>& bitRates) {
    if (!Hold(name)) {
        return {};
    }
    return port_->RefusedBitRates(name, bitRates);
}

void HeldPort::Release() {
    lock_->Release();
    held_ = false;
}

void HeldPort::Write(const uint8_t* data, int32_t length) {
    port_->Write(data, length);
}

void HeldPort::RequestRead() {
    port_->RequestRead();
}

const uint8_t* HeldPort::GetReceiveBuffer() const {
    return port_->GetReceiveBuffer();
}

int32_t HeldPort::GetReceivedCount() const {
    return port_->GetReceivedCount();
}

bool HeldPort::IsOpen() const {
    return port_->IsOpen();
}

bool HeldPort::IsWriting() const {
    return port_->IsWriting();
}

bool HeldPort::IsReadPending() const {
    return port_->IsReadPending();
}

bool HeldPort::IsLost() const {
    return port_->IsLost();
}
