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

#include "CompanionLog.h"

namespace {

using kxcompanion::AppendLog;

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
