// The board's end of the host's serial line: where its reply bytes go and the faults of the port
// itself. The pseudo-terminal of velmora-board-sim is one; a test's in-process link is another.
#pragma once

#include <cstdint>
#include <string>

namespace board_sim {

class HostLine {
public:
    enum class WriteResult { Written, Busy, Failed };

    // One reply byte, for the host to read now.
    virtual WriteResult Write(uint8_t byte) = 0;
    // Drops reply bytes the host left unread: a real port's driver loses them when it closes.
    virtual void DiscardUnreadReplies() = 0;

    // The host's openings and closings of the device so far, as the line counts them.
    virtual long long OpenEvents() const = 0;
    virtual long long CloseEvents() const = 0;

    // The device is there (it has not vanished).
    virtual bool Present() const = 0;
    // As an unplugged USB adapter: the host's open handle fails, the device disappears.
    virtual void Vanish() = 0;
    // The port's name leads nowhere.
    virtual bool RemoveLink(std::string* error) = 0;
    // The port's name leads to something the host can open but not use as a serial port.
    virtual bool LinkToDeadFile(std::string* error) = 0;
    // The port's name leads to the device again.
    virtual bool LinkToDevice(std::string* error) = 0;

protected:
    ~HostLine() = default;
};

}  // namespace board_sim
