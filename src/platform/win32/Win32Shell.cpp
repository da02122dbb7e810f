#include "platform/win32/Win32Shell.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/Win32Handles.h"

namespace kx {

using win32::FromHwnd;
using win32::ToHwnd;
using win32::Wide;

namespace {

// Copies text into a fixed field, cut to the field's size less its zero.
template <std::size_t N>
void CopyField(wchar_t (&field)[N], const Text& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n * sizeof(wchar_t));
    field[n] = 0;
}

}  // namespace

std::intptr_t Win32Shell::ShellExecuteW(Hwnd owner, const Text* verb, const Text& file, const Text* parameters,
                                        const Text* directory, int showCommand) {
    HINSTANCE result = ::ShellExecuteW(ToHwnd(owner), verb != nullptr ? Wide(*verb) : nullptr, Wide(file),
                                       parameters != nullptr ? Wide(*parameters) : nullptr,
                                       directory != nullptr ? Wide(*directory) : nullptr, showCommand);
    return reinterpret_cast<std::intptr_t>(result);
}

bool Win32Shell::Shell_NotifyIconW(std::uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAW record{};
    // The full record of Windows Vista and later, which every supported release understands.
    record.cbSize = sizeof(NOTIFYICONDATAW);
    record.hWnd = ToHwnd(data.hWnd);
    record.uID = data.uID;
    record.uFlags = data.uFlags;
    record.uCallbackMessage = data.uCallbackMessage;
    record.hIcon = win32::FromKHandle<HICON>(data.hIcon);
    CopyField(record.szTip, data.szTip);
    CopyField(record.szInfo, data.szInfo);
    CopyField(record.szInfoTitle, data.szInfoTitle);
    record.uTimeout = data.uTimeout;
    record.dwInfoFlags = data.dwInfoFlags;
    return ::Shell_NotifyIconW(message, &record) != FALSE;
}

long Win32Shell::SHGetKnownFolderPath(const Guid& folderId, std::uint32_t flags, KHandle token, char16_t** path) {
    static_assert(sizeof(Guid) == sizeof(GUID), "Guid mirrors GUID");
    GUID id;
    std::memcpy(&id, &folderId, sizeof(id));
    PWSTR found = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, flags, win32::FromKHandle<HANDLE>(token), &found);
    if (path != nullptr) {
        *path = reinterpret_cast<char16_t*>(found);
    } else {
        ::CoTaskMemFree(found);
    }
    return result;
}

void Win32Shell::CoTaskMemFree(void* memory) { ::CoTaskMemFree(memory); }

long Win32Shell::SHGetFolderPathW(Hwnd owner, int csidl, KHandle token, std::uint32_t flags, char16_t* buffer) {
    return ::SHGetFolderPathW(ToHwnd(owner), csidl, win32::FromKHandle<HANDLE>(token), flags, Wide(buffer));
}

Hwnd Win32Shell::CallHtmlHelpW(ProcAddress entry, Hwnd caller, const Text& file, std::uint32_t command,
                               std::uintptr_t data) {
    using HtmlHelpWFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    if (entry == 0) return 0;
    auto* htmlHelp = reinterpret_cast<HtmlHelpWFunction>(static_cast<std::uintptr_t>(entry));
    return FromHwnd(htmlHelp(ToHwnd(caller), Wide(file), command, data));
}

}  // namespace kx
