#pragma once
#include "sim/SimWorld.h"

namespace kx::sim {

class SimNetwork : public INetwork {
public:
    explicit SimNetwork(SimWorld& world) : world_(world) {}
    KHandle WinHttpOpen(const Text& userAgent, std::uint32_t accessType) override;
    bool WinHttpSetTimeouts(KHandle handle, int resolveMs, int connectMs, int sendMs, int receiveMs) override;
    bool WinHttpSetOption(KHandle handle, std::uint32_t option, std::uint32_t value) override;
    KHandle WinHttpConnect(KHandle session, const Text& serverName, std::uint16_t port) override;
    KHandle WinHttpOpenRequest(KHandle connection, const Text& verb, const Text& objectName, const Text* version,
                               std::uint32_t flags) override;
    bool WinHttpSendRequest(KHandle request) override;
    bool WinHttpReceiveResponse(KHandle request) override;
    bool WinHttpQueryStatusCode(KHandle request, std::uint32_t* status) override;
    bool WinHttpQueryContentLength(KHandle request, std::uint32_t* length) override;
    bool WinHttpReadData(KHandle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) override;
    bool WinHttpCloseHandle(KHandle handle) override;
    KHandle StartCloseWatchdog(KHandle handle, std::uint32_t ms) override;
    bool StopCloseWatchdog(KHandle watchdog) override;

    // False: StartCloseWatchdog fails.
    bool watchdogsStart = true;
    // Watchdogs that closed their handle at the deadline.
    int watchdogsFired = 0;

    // Time-outs set on the session, in milliseconds: resolve, connect, send, receive.
    int timeouts[4] = {0, 0, 0, 0};
    std::map<std::uint32_t, std::uint32_t> options;

private:
    struct Node {
        int level;  // 0 session, 1 connection, 2 request
        std::size_t parent;
        HttpRequest request;
        HttpResponse response;
        bool sent = false;
        bool received = false;
        std::size_t readPosition = 0;
    };
    struct Watchdog {
        KHandle handle;
        std::uint64_t deadlineMs;
        bool live;
        bool fired;
    };
    Node* Get(KHandle handle, int level);
    // A blocking call on request lasts ms: both clocks move on, and false
    // when a watchdog's deadline falls within and it closed the handle.
    bool Pass(KHandle request, std::uint64_t ms);
    SimWorld& world_;
    std::vector<Node> nodes_;
    std::vector<Watchdog> watchdogs_;
};

class SimClock : public IClock {
public:
    explicit SimClock(SimWorld& world) : world_(world) {}
    void GetLocalTime(SystemTime* time) override;
    void GetSystemTimeAsFileTime(std::int64_t* fileTime) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint64_t GetTickCount64() override;
    long VarDateFromStr(const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) override;

private:
    SimWorld& world_;
};

// The debug output: every line written is kept in the world, in order.
class SimDebugOutput : public IDebugOutput {
public:
    explicit SimDebugOutput(SimWorld& world) : world_(world) {}
    void OutputDebugStringW(const Text& text) override;

private:
    SimWorld& world_;
};

}  // namespace kx::sim
