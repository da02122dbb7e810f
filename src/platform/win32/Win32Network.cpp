#include "platform/win32/Win32Network.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

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

}  // namespace kx
