// PtyPeer under Wine: a TCP client of the peer server (tests/support/pty_peer.py), which holds
// the pty and links its slave at the COM port's path. One connection is one pty; every request
// is one text line and so is every answer.
#include "support/pty_peer.h"

// The test runtime has windows.h included ahead of every file, so the sockets come from its
// winsock.h; winsock2.h would clash with it.
#include <windows.h>
#include <winsock.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string ToHex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

struct PtyPeer::Native {
    SOCKET server = INVALID_SOCKET;
    std::string portName;
    std::string problem;
    std::string pending;  // received beyond the last full line

    bool Connect() {
        const char* address = std::getenv("VELMORA_PTY_PEER");
        if (address == nullptr) {
            problem = "no peer server: run this test through tests/support/pty_peer.py";
            return false;
        }
        WSADATA winsock;
        if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
            problem = "WSAStartup failed";
            return false;
        }
        unsigned port = 0;
        char host[64] = "";
        if (std::sscanf(address, "%63[^:]:%u", host, &port) != 2) {
            problem = std::string("bad peer address ") + address;
            return false;
        }
        sockaddr_in peer = {};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<u_short>(port));
        peer.sin_addr.s_addr = inet_addr(host);
        server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        // A peer that stops answering fails the request instead of hanging the test.
        DWORD answerTimeout = 30000;
        if (server == INVALID_SOCKET ||
            setsockopt(server, SOL_SOCKET, SO_RCVTIMEO,
                       reinterpret_cast<const char*>(&answerTimeout), sizeof answerTimeout) != 0 ||
            connect(server, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            problem = std::string("cannot reach the peer server at ") + address;
            return false;
        }
        std::string greeting = ReadLine();
        if (greeting.compare(0, 6, "READY ") != 0) {
            problem = "peer server: " + greeting;
            return false;
        }
        portName = greeting.substr(6);
        return true;
    }

    void Disconnect() {
        if (server != INVALID_SOCKET) {
            closesocket(server);
            WSACleanup();
        }
        server = INVALID_SOCKET;
    }

    std::string ReadLine() {
        for (;;) {
            size_t end = pending.find('\n');
            if (end != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return line;
            }
            char buffer[1024];
            int got = recv(server, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return "connection lost";
            }
            pending.append(buffer, static_cast<size_t>(got));
        }
    }

    // Sends one request and returns the answer's line.
    std::string Ask(const std::string& request) {
        std::string line = request + "\n";
        size_t sent = 0;
        while (sent < line.size()) {
            int count = send(server, line.data() + sent, static_cast<int>(line.size() - sent), 0);
            if (count <= 0) {
                return "connection lost";
            }
            sent += static_cast<size_t>(count);
        }
        return ReadLine();
    }
};

PtyPeer::PtyPeer() : native_(new Native) {
    if (!native_->Connect()) {
        native_->Disconnect();
    }
}

PtyPeer::~PtyPeer() {
    native_->Disconnect();
}

bool PtyPeer::IsReady() const {
    return native_->server != INVALID_SOCKET;
}

std::string PtyPeer::Problem() const {
    return native_->problem;
}

std::string PtyPeer::PortName() const {
    return native_->portName;
}

bool PtyPeer::Send(const std::vector<uint8_t>& bytes) {
    return native_->Ask("SEND " + ToHex(bytes)) == "OK";
}

std::vector<uint8_t> PtyPeer::Receive(size_t count, int milliseconds) {
    std::string answer =
        native_->Ask("RECV " + std::to_string(count) + " " + std::to_string(milliseconds));
    if (answer.compare(0, 4, "DATA") != 0) {
        return std::vector<uint8_t>();
    }
    return FromHex(answer.size() > 5 ? answer.substr(5) : std::string());
}

bool PtyPeer::ReadLineSettings(PeerLineSettings* settings) {
    std::string answer = native_->Ask("LINE");
    int twoStopBits = 0;
    int hardwareFlow = 0;
    if (std::sscanf(answer.c_str(), "LINE %d %d %d", &settings->bitRate, &twoStopBits,
                    &hardwareFlow) != 3) {
        return false;
    }
    settings->twoStopBits = twoStopBits != 0;
    settings->hardwareFlow = hardwareFlow != 0;
    return true;
}

bool PtyPeer::Hangup() {
    return native_->Ask("HANGUP") == "OK";
}

bool PtyPeer::Recreate() {
    return native_->Ask("RECREATE") == "OK";
}

bool RunsUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}
