// KestrixUpdate.exe, the updater: asks the update server the same question as
// KestrixTray, says in a window what it answered, and opens the maker's
// download page in the browser when the user asks. It downloads and runs
// nothing by itself. When the server says the installed release is current,
// the check counts as an update made now: UpdatedDate is written in seconds,
// so KestrixTray asks again only 45 days later.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <thread>

#include "UpdaterIds.h"
#include "companion/CaptionBook.h"
#include "companion/SettingsEditor.h"
#include "platform/win32/MessageFilter.h"
#include "platform/win32/Win32Api.h"
#include "update/UpdateChecker.h"
#include "update/UpdateDates.h"

namespace {

using namespace kxupdate;

constexpr wchar_t kClassName[] = L"TKXUpdateForm";
constexpr wchar_t kDownloadPage[] = L"https://www.velmor.com/downloads/kestrix/";
constexpr UINT kCheckDone = WM_APP + 1;

struct Updater {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HFONT font = nullptr;
    int dpi = 96;
    kx::Win32Api api;
    std::unique_ptr<kx::CaptionBook> book;
    std::thread worker;
    bool checking = false;

    std::wstring Caption(const wchar_t* key) const {
        const kx::Text text = book->Get(kx::contract::kUpdateFormGroup, kx::Text(key, key + std::wcslen(key)));
        return std::wstring(text.begin(), text.end());
    }
};

Updater* g_updater = nullptr;  // the one window of the program

int Scale(int value) { return MulDiv(value, g_updater->dpi, 96); }

void StartCheck(Updater& u) {
    if (u.checking) return;
    u.checking = true;
    SetDlgItemTextW(u.window, kIdStatus, u.Caption(L"Checking").c_str());
    EnableWindow(GetDlgItem(u.window, kIdDownload), FALSE);
    EnableWindow(GetDlgItem(u.window, kIdRetry), FALSE);
    if (u.worker.joinable()) u.worker.join();
    HWND window = u.window;
    // The exchange blocks for up to a few seconds; the window stays responsive.
    u.worker = std::thread([window] {
        kx::Win32Network network;
        kx::Win32Clock clock;
        kx::UpdateChecker checker(network, clock);
        const int result = checker.CheckForUpdate();
        PostMessageW(window, kCheckDone, static_cast<WPARAM>(result + 1), 0);
    });
}

void CheckDone(Updater& u, int result) {
    u.checking = false;
    if (u.worker.joinable()) u.worker.join();
    const wchar_t* key = L"NoAnswer";
    if (result == kx::kUpdateAvailable) key = L"Available";
    if (result == kx::kUpdateNone) {
        key = L"UpToDate";
        kx::SettingsEditor settings(u.api.registry, u.api.system);
        settings.WriteUpdatedDate(kx::DateTimeToLocalSeconds(kx::CurrentMoment(u.api.clock)));
    }
    if (result == kx::kUpdateOther) key = L"UpToDate";
    SetDlgItemTextW(u.window, kIdStatus, u.Caption(key).c_str());
    EnableWindow(GetDlgItem(u.window, kIdDownload), result == kx::kUpdateAvailable);
    EnableWindow(GetDlgItem(u.window, kIdRetry), TRUE);
    if (result == kx::kUpdateAvailable) SetFocus(GetDlgItem(u.window, kIdDownload));
}

void LayOut(Updater& u) {
    struct Box {
        int id, x, y, w, h;
    };
    const Box boxes[] = {{kIdStatus, 12, 12, 396, 60},
                         {kIdDownload, 12, 84, 200, 30},
                         {kIdRetry, 218, 84, 92, 30},
                         {kIdClose, 316, 84, 92, 30}};
    for (const Box& b : boxes) {
        SetWindowPos(GetDlgItem(u.window, b.id), nullptr, Scale(b.x), Scale(b.y), Scale(b.w), Scale(b.h),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame = {0, 0, Scale(420), Scale(126)};
    AdjustWindowRectEx(&frame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE, 0);
    SetWindowPos(u.window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void UseFont(Updater& u) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HDC screen = GetDC(nullptr);
    const int systemDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, u.dpi, systemDpi > 0 ? systemDpi : 96);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (font == nullptr) return;
    for (int id : {kIdStatus, kIdDownload, kIdRetry, kIdClose}) {
        SendDlgItemMessageW(u.window, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (u.font != nullptr) DeleteObject(u.font);
    u.font = font;
}

int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto getDpi = user32 == nullptr ? nullptr
                                    : reinterpret_cast<GetDpiForWindowFn>(
                                          reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    if (getDpi != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Updater* u = g_updater;
    switch (message) {
        case WM_CREATE: {
            u->window = window;
            u->dpi = WindowDpi(window);
            auto add = [&](const wchar_t* cls, DWORD style, int id, const std::wstring& text) {
                CreateWindowExW(0, cls, text.c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), u->instance, nullptr);
            };
            add(L"STATIC", SS_LEFT | SS_NOPREFIX, kIdStatus, L"");
            add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdDownload, u->Caption(L"DownloadButton"));
            add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdRetry, u->Caption(L"RetryButton"));
            add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdClose, u->Caption(L"CloseButton"));
            UseFont(*u);
            LayOut(*u);
            StartCheck(*u);
            return 0;
        }
        case kCheckDone:
            CheckDone(*u, static_cast<int>(wParam) - 1);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == kIdClose) DestroyWindow(window);
            if (LOWORD(wParam) == kIdRetry) StartCheck(*u);
            if (LOWORD(wParam) == kIdDownload) {
                ShellExecuteW(window, L"open", kDownloadPage, nullptr, nullptr, SW_SHOWNORMAL);
            }
            return 0;
        case 0x02E0: {  // WM_DPICHANGED
            u->dpi = HIWORD(wParam);
            UseFont(*u);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            LayOut(*u);
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // One updater at a time: a second start shows the first.
    if (HWND running = FindWindowW(kClassName, nullptr)) {
        if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(running);
        return 0;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Updater updater;
    updater.instance = instance;
    g_updater = &updater;
    {
        kx::SettingsEditor settings(updater.api.registry, updater.api.system);
        updater.book = std::make_unique<kx::CaptionBook>(updater.api.system, settings.Read().language);
    }

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (RegisterClassExW(&wc) == 0) return 1;
    HWND window = CreateWindowExW(0, kClassName, updater.Caption(reinterpret_cast<const wchar_t*>(kx::contract::kUpdateFormGroup)).c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 440, 170, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    // The uninstaller closes it, also when it runs elevated.
    kx::win32::AllowMessagesFromOrdinaryPrograms(window, {WM_CLOSE});
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // A check still under way ends within its bounds; wait for it.
    if (updater.worker.joinable()) updater.worker.join();
    if (updater.font != nullptr) DeleteObject(updater.font);
    g_updater = nullptr;
    return static_cast<int>(message.wParam);
}
