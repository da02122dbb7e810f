// winhttp: each call forwards to Windows as it stands. Sessions are opened
// synchronous, so every call returns when its part of the exchange has ended.
#pragma once

#include "platform/NetworkApi.h"

namespace kx {

class Win32Network : public INetwork {
public:
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
    // A one-shot timer of the process's timer queue.
    KHandle StartCloseWatchdog(KHandle handle, std::uint32_t ms) override;
    bool StopCloseWatchdog(KHandle watchdog) override;
};

}  // namespace kx
