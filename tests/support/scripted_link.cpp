// The scripted board's default answers, and its link's events.
#include "support/scripted_link.h"

#include <cstring>
#include <numeric>

#include "serial/thread_sync.h"

// Every byte of a reply, SUM included, adds up to 0 modulo 256.
std::vector<uint8_t> WithSum(std::vector<uint8_t> bytes) {
    bytes.push_back(static_cast<uint8_t>(-std::accumulate(bytes.begin(), bytes.end(), 0)));
    return bytes;
}

// Size, the number of devices, then the device's character count, its code and its name.
std::vector<uint8_t> DeviceListReply(const char* name) {
    const size_t length = std::strlen(name);
    const uint8_t characters = static_cast<uint8_t>(4 + length);
    std::vector<uint8_t> reply = {
        0x30, static_cast<uint8_t>(2 + characters), 1, characters, 0x15, 0x20, 0x00, 0x40};
    reply.insert(reply.end(), name, name + length);
    return WithSum(reply);
}

ScriptedLink::ScriptedLink()
    : replies{{0x00, {0x00}},
              {0x55, {0xE6}},
              {0x20, DeviceListReply("H8SX 1520R(40MHz)")},
              {0x27, WithSum({0x37, 0x02, 0x00, 0x80})},
              {0x10, {0x06}},
              {0x11, {0x06}},
              {0x3F, {0x06}},
              {0x06, {0x06}},
              {0x40, {0x06}},
              {0x4F, WithSum({0x5F, 0x02, 0x3F, 0x00})},
              {0x43, {0x06}},
              {0x50, {0x06}}} {}

void ScriptedLink::SetEventCallback(RS232CEventCallback callback, void* context) {
    callback_ = callback;
    context_ = context;
}

RS232COpenResult ScriptedLink::Open(const char*, int32_t, int32_t, uint8_t, bool) {
    ++openings_;
    lost_ = false;
    problem_ = PortOpenProblem();
    if (openings_ == failingOpening) {
        problem_ = openProblem;
        return RS232COpenResult::DeviceNotOpened;
    }
    open_ = true;
    if (openings_ != silentOpening) {
        Raise(PortEvent::Started);
    }
    return RS232COpenResult::PortOpened;
}

void ScriptedLink::Close() {
    if (open_) {
        open_ = false;
        Raise(PortEvent::Stopped);
    }
}

void ScriptedLink::Write(const uint8_t* data, int32_t length) {
    if (!open_ || data == nullptr || length < 1) {
        return;
    }
    if (data[0] == vanishOn) {
        lost_ = true;
        open_ = false;
        Raise(PortEvent::Stopped);
        return;
    }
    const auto reply = replies.find(data[0]);
    if (reply == replies.end()) {
        return;
    }
    for (const uint8_t answered : reply->second) {
        byte_ = answered;
        Raise(PortEvent::DataReceived);
    }
}

void ScriptedLink::Raise(PortEvent event) {
    if (callback_ != nullptr) {
        callback_(this, static_cast<int32_t>(event), context_);
    }
}

bool VirtualClock::WaitFor(Event& event, int milliseconds) {
    if (event.Wait(0)) {
        return true;
    }
    Sleep(milliseconds);
    return event.Wait(0);
}

void VirtualClock::Sleep(int milliseconds) {
    if (milliseconds > 0) {
        now_ += std::chrono::milliseconds(milliseconds);
    }
}
