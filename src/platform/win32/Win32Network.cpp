#include "platform/win32/Win32Network.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <new>

#include "platform/win32/Win32Handles.h"

namespace kx {

using win32::FromKHandle;
using win32::ToKHandle;
using win32::Wide;

KHandle Win32Network::WinHttpOpen(const Text& userAgent, std::uint32_t accessType) {
    // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY and NO_PROXY take no proxy names of their own.
    return ToKHandle(
        ::WinHttpOpen(Wide(userAgent), accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
}

bool Win32Network::WinHttpSetTimeouts(KHandle handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    return ::WinHttpSetTimeouts(FromKHandle<HINTERNET>(handle), resolveMs, connectMs, sendMs, receiveMs) != FALSE;
}

bool Win32Network::WinHttpSetOption(KHandle handle, std::uint32_t option, std::uint32_t value) {
    DWORD data = value;
    return ::WinHttpSetOption(FromKHandle<HINTERNET>(handle), option, &data, sizeof(data)) != FALSE;
}

KHandle Win32Network::WinHttpConnect(KHandle session, const Text& serverName, std::uint16_t port) {
    return ToKHandle(::WinHttpConnect(FromKHandle<HINTERNET>(session), Wide(serverName), port, 0));
}

KHandle Win32Network::WinHttpOpenRequest(KHandle connection, const Text& verb, const Text& objectName,
                                         const Text* version, std::uint32_t flags) {
    return ToKHandle(::WinHttpOpenRequest(FromKHandle<HINTERNET>(connection), Wide(verb), Wide(objectName),
                                          version != nullptr ? Wide(*version) : nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
}

bool Win32Network::WinHttpSendRequest(KHandle request) {
    return ::WinHttpSendRequest(FromKHandle<HINTERNET>(request), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0) != FALSE;
}

bool Win32Network::WinHttpReceiveResponse(KHandle request) {
    return ::WinHttpReceiveResponse(FromKHandle<HINTERNET>(request), nullptr) != FALSE;
}

namespace {

bool QueryNumber(KHandle request, DWORD header, std::uint32_t* value) {
    if (value == nullptr) return false;
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (::WinHttpQueryHeaders(FromKHandle<HINTERNET>(request), header | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &number, &size, WINHTTP_NO_HEADER_INDEX) == FALSE) {
        return false;
    }
    *value = number;
    return true;
}

}  // namespace

bool Win32Network::WinHttpQueryStatusCode(KHandle request, std::uint32_t* status) {
    return QueryNumber(request, WINHTTP_QUERY_STATUS_CODE, status);
}

bool Win32Network::WinHttpQueryContentLength(KHandle request, std::uint32_t* length) {
    return QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, length);
}

bool Win32Network::WinHttpReadData(KHandle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    DWORD got = 0;
    const BOOL ok = ::WinHttpReadData(FromKHandle<HINTERNET>(request), buffer, toRead, &got);
    if (read != nullptr) *read = ok != FALSE ? got : 0;
    return ok != FALSE;
}

bool Win32Network::WinHttpCloseHandle(KHandle handle) {
    return ::WinHttpCloseHandle(FromKHandle<HINTERNET>(handle)) != FALSE;
}

namespace {

// What the timer's thread and the caller share; the lock decides which of
// the two acts on the handle, so it is closed exactly once.
struct CloseWatchdog {
    CRITICAL_SECTION lock;
    HINTERNET handle = nullptr;
    HANDLE timer = nullptr;
    bool stopped = false;
    bool fired = false;
};

VOID CALLBACK CloseWatchdogFired(PVOID context, BOOLEAN /*timerOrWaitFired*/) {
    auto* watchdog = static_cast<CloseWatchdog*>(context);
    ::EnterCriticalSection(&watchdog->lock);
    if (!watchdog->stopped) {
        // Closing a request handle ends the synchronous call waiting on it.
        ::WinHttpCloseHandle(watchdog->handle);
        watchdog->fired = true;
    }
    ::LeaveCriticalSection(&watchdog->lock);
}

}  // namespace

KHandle Win32Network::StartCloseWatchdog(KHandle handle, std::uint32_t ms) {
    auto* watchdog = new (std::nothrow) CloseWatchdog;
    if (watchdog == nullptr) return 0;
    ::InitializeCriticalSection(&watchdog->lock);
    watchdog->handle = FromKHandle<HINTERNET>(handle);
    // Timer-queue timers count on the system's tick, which no clock change moves.
    if (!::CreateTimerQueueTimer(&watchdog->timer, nullptr, CloseWatchdogFired, watchdog, ms, 0,
                                 WT_EXECUTEONLYONCE)) {
        ::DeleteCriticalSection(&watchdog->lock);
        delete watchdog;
        return 0;
    }
    return ToKHandle(watchdog);
}

bool Win32Network::StopCloseWatchdog(KHandle handle) {
    auto* watchdog = FromKHandle<CloseWatchdog*>(handle);
    if (watchdog == nullptr) return false;
    ::EnterCriticalSection(&watchdog->lock);
    watchdog->stopped = true;
    ::LeaveCriticalSection(&watchdog->lock);
    // INVALID_HANDLE_VALUE: returns once a callback already running has ended.
    ::DeleteTimerQueueTimer(nullptr, watchdog->timer, INVALID_HANDLE_VALUE);
    const bool fired = watchdog->fired;
    ::DeleteCriticalSection(&watchdog->lock);
    delete watchdog;
    return fired;
}

}  // namespace kx
