// A serial link whose device stays the run's own from its first opening until Release: the
// port's lock is taken before that opening and held across every closing and reopening after it,
// so that no program that honours the lock opens the device in a gap (an opening raises DTR and
// RTS, which resets many boards).
#pragma once

#include <memory>

#include "serial/port_lock.h"
#include "serial/serial_link.h"

class HeldPort final : public SerialLink {
public:
    HeldPort(std::unique_ptr<SerialLink> port, std::unique_ptr<PortLock> lock);

    void SetEventCallback(RS232CEventCallback callback, void* context) override;
    // Takes the lock first while none is held; a lock that another process holds refuses the
    // opening (DeviceNotOpened) before the device is touched, with the lock's problem.
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override;
    const PortOpenProblem& LastOpenProblem() const override;
    // Closes the device and keeps the lock.
    void Close() override;
    // Takes the lock first as Open does; none refused while another process holds it.
    std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                const std::vector<int32_t>& bitRates) override;
    // After the last Close: the device is free for others again.
    void Release();

    void Write(const uint8_t* data, int32_t length) override;
    void RequestRead() override;
    const uint8_t* GetReceiveBuffer() const override;
    int32_t GetReceivedCount() const override;
    bool IsOpen() const override;
    bool IsWriting() const override;
    bool IsReadPending() const override;
    bool IsLost() const override;

private:
    std::unique_ptr<SerialLink> port_;
    std::unique_ptr<PortLock> lock_;
    bool held_ = false;
    // Takes the lock unless held; false, with refusal_, when another process holds it.
    bool Hold(const char* name);

    PortOpenProblem refusal_;  // why the last Open's lock was refused; kind None otherwise
};
