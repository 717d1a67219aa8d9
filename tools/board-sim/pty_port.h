// The simulated COM port: a pseudo-terminal whose slave device is linked where the host looks for
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host_line.h"
#include "line_settings.h"

namespace board_sim {

enum class PortEventKind { HostOpened, HostClosed, DeadFileClosed, EventsLost };

struct PortEvent {
    PortEventKind kind;
    // For HostClosed: the host opened the device again before the events were read, so the line
    // settings seen now may already be the next opening's.
    bool reopenedSince = false;
};

// The simulator never holds the slave open, so the host's opens and closes show. Whether anyone
// holds the device is the master's hang-up state (set when the last holder closes, cleared by an
// open); inotify's open and close events of the device add what is too quick to see that way.
// inotify merges identical events that follow each other unread, so they cannot simply be
// counted: Wine may open the device twice, and the second open would vanish.
class PtyPort final : public HostLine {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool Create(const std::string& linkPath, std::string* error);

    const std::string& SlavePath() const { return slavePath_; }
    // -1 once the device has vanished.
    int MasterFd() const { return master_; }
    int NotifyFd() const { return notify_; }
    bool Present() const override { return master_ >= 0; }
    // Someone holds the device open, as far as the events taken so far tell.
    bool Held() const { return held_; }
    // Nobody has the device open at this moment (the master sees a hang-up).
    bool FreeNow() const { return MasterHungUp(); }
    // Open and close events of the device, merged ones counted once.
    long long OpenEvents() const override { return openEvents_; }
    long long CloseEvents() const override { return closeEvents_; }

    // Opening and closing transitions since the last call, in order. Also to be called when the
    // master reports a hang-up.
    std::vector<PortEvent> TakeEvents();
    // Bytes the host has written; 0 when none are waiting.
    size_t Read(uint8_t* buffer, size_t capacity);
    WriteResult Write(uint8_t byte) override;
    bool ReadSettings(LineSettings* settings) const;
    // A pseudo-terminal would hand the unread bytes to the next opener.
    void DiscardUnreadReplies() override;

    // Closes the master and removes the link.
    void Vanish() override;
    bool RemoveLink(std::string* error) override;
    // Points the link at a regular file.
    bool LinkToDeadFile(std::string* error) override;
    bool LinkToDevice(std::string* error) override;

private:
    struct RawEvent {
        int watch;
        uint32_t mask;
    };

    // False when there was nothing to read.
    bool ReadRawEvents(std::vector<RawEvent>* events);
    bool MasterHungUp() const;
    bool PointLinkAt(const std::string& target, std::string* error);
    void StopWatching(int* watch);

    int master_ = -1;
    int notify_ = -1;
    int slaveWatch_ = -1;
    int deadWatch_ = -1;
    std::string linkPath_;
    std::string slavePath_;
    std::string deadPath_;
    bool held_ = false;
    // Before the first open the master shows no hang-up although nobody holds the device.
    bool everOpened_ = false;
    // The simulator's own brief opening in DiscardUnreadReplies, not to be taken for the host's.
    int ownOpensPending_ = 0;
    int ownClosesPending_ = 0;
    long long openEvents_ = 0;
    long long closeEvents_ = 0;
};

// Reads the slave's settings through the master (the kernel answers for the slave). False on error.
bool ReadLineSettings(int masterFd, LineSettings* settings);

}  // namespace board_sim
