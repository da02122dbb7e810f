// KestrixUpdate.exe stand-in: the updater as far as the tray program sees it.
// It only records that it was started, with its arguments and whether it was
// given an owner console or window, and ends.
//
// It appends one line to the log file named by the environment variable
// KX_COMPANION_LOG, or else to companions.log next to the program:
//   KestrixUpdate.exe started <argument count> [<arguments>]
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::wstring LogPath() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = ::GetEnvironmentVariableW(L"KX_COMPANION_LOG", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) return buffer;
    const DWORD m = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
    std::wstring path(buffer, m);
    return path.substr(0, path.rfind(L'\\') + 1) + L"companions.log";
}

void AppendLog(const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    HANDLE file = ::CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments != nullptr) ::LocalFree(arguments);
    const std::wstring rest = commandLine != nullptr ? commandLine : L"";
    AppendLog(L"KestrixUpdate.exe started " + std::to_wstring(count > 0 ? count - 1 : 0) +
              (rest.empty() ? L"" : L" " + rest));
    return 0;
}
