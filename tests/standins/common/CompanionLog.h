// The stand-in companions' record of what happened to them (started, with
// which arguments, which window closed when), one UTF-8 line per event, for
// the integration tests to read. KX_COMPANION_LOG names the file; without it
// the file lies next to the program.
#pragma once

#include <windows.h>

#include <string>

namespace kxcompanion {

inline std::wstring LogPath() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = ::GetEnvironmentVariableW(L"KX_COMPANION_LOG", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) return buffer;
    const DWORD m = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
    std::wstring path(buffer, m);
    return path.substr(0, path.rfind(L'\\') + 1) + L"companions.log";
}

inline void AppendLog(const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    struct File {
        HANDLE handle;
        ~File() {
            if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        }
    } file{::CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace kxcompanion
