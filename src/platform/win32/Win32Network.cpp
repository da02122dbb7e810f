#include "platform/win32/Win32Network.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <new>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32SystemLibrary.h"

namespace kx {

using win32::FromKHandle;
using win32::ToKHandle;
using win32::Wide;

namespace {

// winhttp.dll is no KnownDLL: bound at the first use from the system folder.
struct WinHttpEntries {
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
    decltype(&::WinHttpSetOption) setOption = nullptr;
    decltype(&::WinHttpConnect) connect = nullptr;
    decltype(&::WinHttpOpenRequest) openRequest = nullptr;
    decltype(&::WinHttpSendRequest) sendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
    decltype(&::WinHttpReadData) readData = nullptr;
    decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
    bool complete = false;
};

const WinHttpEntries& WinHttp() {
    static const WinHttpEntries entries = [] {
        WinHttpEntries e;
        HMODULE library = win32::LoadFromSystemFolder(L"winhttp.dll");
        e.open = win32::SystemEntry<decltype(e.open)>(library, "WinHttpOpen");
        e.setTimeouts = win32::SystemEntry<decltype(e.setTimeouts)>(library, "WinHttpSetTimeouts");
        e.setOption = win32::SystemEntry<decltype(e.setOption)>(library, "WinHttpSetOption");
        e.connect = win32::SystemEntry<decltype(e.connect)>(library, "WinHttpConnect");
        e.openRequest = win32::SystemEntry<decltype(e.openRequest)>(library, "WinHttpOpenRequest");
        e.sendRequest = win32::SystemEntry<decltype(e.sendRequest)>(library, "WinHttpSendRequest");
        e.receiveResponse = win32::SystemEntry<decltype(e.receiveResponse)>(library, "WinHttpReceiveResponse");
        e.queryHeaders = win32::SystemEntry<decltype(e.queryHeaders)>(library, "WinHttpQueryHeaders");
        e.readData = win32::SystemEntry<decltype(e.readData)>(library, "WinHttpReadData");
        e.closeHandle = win32::SystemEntry<decltype(e.closeHandle)>(library, "WinHttpCloseHandle");
        e.complete = e.open && e.setTimeouts && e.setOption && e.connect && e.openRequest && e.sendRequest &&
                     e.receiveResponse && e.queryHeaders && e.readData && e.closeHandle;
        return e;
    }();
    return entries;
}

}  // namespace

KHandle Win32Network::WinHttpOpen(const Text& userAgent, std::uint32_t accessType) {
    // Without the whole library no session is opened, and no other call is reached.
    if (!WinHttp().complete) return 0;
    // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY and NO_PROXY take no proxy names of their own.
    return ToKHandle(
        WinHttp().open(Wide(userAgent), accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
}

bool Win32Network::WinHttpSetTimeouts(KHandle handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    return WinHttp().setTimeouts(FromKHandle<HINTERNET>(handle), resolveMs, connectMs, sendMs, receiveMs) != FALSE;
}

bool Win32Network::WinHttpSetOption(KHandle handle, std::uint32_t option, std::uint32_t value) {
    DWORD data = value;
    return WinHttp().setOption(FromKHandle<HINTERNET>(handle), option, &data, sizeof(data)) != FALSE;
}

KHandle Win32Network::WinHttpConnect(KHandle session, const Text& serverName, std::uint16_t port) {
    return ToKHandle(WinHttp().connect(FromKHandle<HINTERNET>(session), Wide(serverName), port, 0));
}

KHandle Win32Network::WinHttpOpenRequest(KHandle connection, const Text& verb, const Text& objectName,
                                         const Text* version, std::uint32_t flags) {
    return ToKHandle(WinHttp().openRequest(FromKHandle<HINTERNET>(connection), Wide(verb), Wide(objectName),
                                          version != nullptr ? Wide(*version) : nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
}

bool Win32Network::WinHttpSendRequest(KHandle request) {
    return WinHttp().sendRequest(FromKHandle<HINTERNET>(request), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0) != FALSE;
}

bool Win32Network::WinHttpReceiveResponse(KHandle request) {
    return WinHttp().receiveResponse(FromKHandle<HINTERNET>(request), nullptr) != FALSE;
}

namespace {

bool QueryNumber(KHandle request, DWORD header, std::uint32_t* value) {
    if (value == nullptr) return false;
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (WinHttp().queryHeaders(FromKHandle<HINTERNET>(request), header | WINHTTP_QUERY_FLAG_NUMBER,
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
    const BOOL ok = WinHttp().readData(FromKHandle<HINTERNET>(request), buffer, toRead, &got);
    if (read != nullptr) *read = ok != FALSE ? got : 0;
    return ok != FALSE;
}

bool Win32Network::WinHttpCloseHandle(KHandle handle) {
    return WinHttp().closeHandle(FromKHandle<HINTERNET>(handle)) != FALSE;
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
        WinHttp().closeHandle(watchdog->handle);
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
