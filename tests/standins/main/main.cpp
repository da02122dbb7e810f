// Kestrix.exe stand-in: the companion main program as far as the tray program
// sees it. It shows its main window (class "TKXMainForm") and, on request, its
// dialogs, each a top-level window of its own class that closes on WM_CLOSE.
//
//   Kestrix.exe [--show <dialog>]... [--hang-on-close]
//       <dialog>: about, addblocklist, advancedsettings, settings, stats, test.
//       --hang-on-close: the main window never answers WM_CLOSE (for the
//       tray's bounded wait); it ends when its dialogs are gone and 30 s passed.
//
// It appends one line per event to the log file named by the environment
// variable KX_COMPANION_LOG, or else to companions.log next to the program:
//   Kestrix.exe started <arguments>
//   Kestrix.exe closed <window class>
// The program ends when its last window is closed.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "CompanionLog.h"
#include "config/Contract.h"

namespace {

struct Dialog {
    const wchar_t* option;
    const wchar_t* className;
    const wchar_t* title;
};

// The main program's window classes, from the programs' shared definitions.
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
namespace contract = kx::contract;
const Dialog kDialogs[] = {
    {L"about", Wide(contract::kAboutFormClass), L"About Kestrix"},
    {L"addblocklist", Wide(contract::kAddBlockListFormClass), L"Add to block list"},
    {L"advancedsettings", Wide(contract::kAdvancedSettingsFormClass), L"Advanced settings"},
    {L"settings", Wide(contract::kSettingsFormClass), L"Settings"},
    {L"stats", Wide(contract::kStatsFormClass), L"Statistics"},
    {L"test", Wide(contract::kTestFormClass), L"Test"},
};
const wchar_t* const kMainClass = Wide(contract::kMainFormClass);

int g_openWindows = 0;
bool g_hangOnClose = false;

using kxcompanion::AppendLog;

std::wstring ClassOf(HWND window) {
    wchar_t name[256];
    const int n = ::GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: {
            const std::wstring className = ClassOf(window);
            if (g_hangOnClose && className == kMainClass) {
                // A main window that never answers: the caller's wait has to end on its own.
                ::Sleep(30000);
            }
            AppendLog(L"Kestrix.exe closed " + className);
            ::DestroyWindow(window);
            return 0;
        }
        case WM_DESTROY:
            if (--g_openWindows == 0) ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

bool Register(HINSTANCE instance, const wchar_t* className) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    return ::RegisterClassExW(&windowClass) != 0;
}

HWND Open(HINSTANCE instance, const wchar_t* className, const wchar_t* title, int x, int y, int w, int h) {
    HWND window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, x, y, w, h, nullptr, nullptr, instance,
                                    nullptr);
    if (window != nullptr) {
        ++g_openWindows;
        ::ShowWindow(window, SW_SHOW);
    }
    return window;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    AppendLog(std::wstring(L"Kestrix.exe started ") + (commandLine != nullptr ? commandLine : L""));
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<const Dialog*> dialogs;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (argument == L"--hang-on-close") {
            g_hangOnClose = true;
        } else if (argument == L"--show" && i + 1 < count) {
            const std::wstring name = arguments[++i];
            for (const Dialog& dialog : kDialogs) {
                if (name == dialog.option) dialogs.push_back(&dialog);
            }
        }
    }
    if (arguments != nullptr) ::LocalFree(arguments);

    if (!Register(instance, kMainClass)) return 1;
    for (const Dialog& dialog : kDialogs) Register(instance, dialog.className);
    if (Open(instance, kMainClass, L"Kestrix", 60, 60, 480, 320) == nullptr) return 1;
    int offset = 0;
    for (const Dialog* dialog : dialogs) {
        offset += 30;
        Open(instance, dialog->className, dialog->title, 120 + offset, 120 + offset, 360, 240);
    }

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
