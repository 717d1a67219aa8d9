// The far end of a port under test: a pseudo-terminal whose master side the test drives. Natively
// the test holds the pty itself; under Wine a peer server (tests/support/pty_peer.py) holds it,
// links its slave at the COM port's path and obeys this class over TCP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The line settings of the pty as the port under test left them. A pty always reports 8 data
// bits without parity, whatever was asked for, so those are not part of it.
struct PeerLineSettings {
    int32_t bitRate;
    bool twoStopBits;
    bool hardwareFlow;
};

class PtyPeer {
public:
    // Creates the pty; IsReady tells whether that worked and Problem why not.
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool IsReady() const;
    std::string Problem() const;
    // What RS232CPort::Open takes to reach the slave side; it may change with Recreate.
    std::string PortName() const;

    bool Send(const std::vector<uint8_t>& bytes);
    // Up to `count` bytes written by the port, fewer when `milliseconds` pass first.
    std::vector<uint8_t> Receive(size_t count, int milliseconds);
    bool ReadLineSettings(PeerLineSettings* settings);
    // Closes the master side: the device goes away under the port.
    bool Hangup();
    // A new pty in place of the one hung up.
    bool Recreate();

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

// True under Wine, whose serial layer differs from Windows on a pty: it lets a second handle open
// a port in use, and fails every line-event wait because a pty has no modem status.
bool RunsUnderWine();
