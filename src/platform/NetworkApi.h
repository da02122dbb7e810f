// winhttp, as the program calls it.
#pragma once

#include <cstdint>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

namespace w32 {
constexpr std::uint32_t kWinHttpAccessTypeDefaultProxy = 0;
constexpr std::uint32_t kWinHttpAccessTypeNoProxy = 1;
constexpr std::uint32_t kWinHttpOptionRedirectPolicy = 88;
constexpr std::uint32_t kWinHttpOptionRedirectPolicyNever = 0;
constexpr std::uint32_t kWinHttpOptionReceiveResponseTimeout = 7;
}  // namespace w32

class INetwork {
public:
    virtual ~INetwork() = default;
    virtual KHandle WinHttpOpen(const Text& userAgent, std::uint32_t accessType) = 0;
    virtual bool WinHttpSetTimeouts(KHandle handle, int resolveMs, int connectMs, int sendMs, int receiveMs) = 0;
    virtual bool WinHttpSetOption(KHandle handle, std::uint32_t option, std::uint32_t value) = 0;
    virtual KHandle WinHttpConnect(KHandle session, const Text& serverName, std::uint16_t port) = 0;
    // version null: the default (HTTP/1.1).
    virtual KHandle WinHttpOpenRequest(KHandle connection, const Text& verb, const Text& objectName,
                                       const Text* version, std::uint32_t flags) = 0;
    virtual bool WinHttpSendRequest(KHandle request) = 0;
    virtual bool WinHttpReceiveResponse(KHandle request) = 0;
    // WinHttpQueryHeaders(WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER).
    virtual bool WinHttpQueryStatusCode(KHandle request, std::uint32_t* status) = 0;
    // WinHttpQueryHeaders(WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER); false when the
    // answer announces no length (chunked, or read until the server closes).
    virtual bool WinHttpQueryContentLength(KHandle request, std::uint32_t* length) = 0;
    virtual bool WinHttpReadData(KHandle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) = 0;
    virtual bool WinHttpCloseHandle(KHandle handle) = 0;
    // A watchdog over one blocking exchange: once ms milliseconds have passed
    // on the monotonic clock, it closes handle from another thread, which ends
    // any WinHTTP call waiting on it (a connection in progress included).
    // Returns 0 when no watchdog can be started.
    virtual KHandle StartCloseWatchdog(KHandle handle, std::uint32_t ms) = 0;
    // Stops the watchdog and waits until it can no longer act; true when it
    // has closed the handle, which must then not be closed again.
    virtual bool StopCloseWatchdog(KHandle watchdog) = 0;
};

inline void CloseInternetHandle(INetwork& api, KHandle handle) { api.WinHttpCloseHandle(handle); }
using OwnedInternetHandle = Owned<INetwork, CloseInternetHandle>;

}  // namespace kx
