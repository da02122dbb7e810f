#include "platform/win32/Win32Windows.h"

#include <windows.h>

#include "platform/win32/Win32Handles.h"

namespace kx {

using win32::FromHwnd;
using win32::ToHwnd;
using win32::Wide;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

Hwnd Win32Windows::GetForegroundWindow() { return FromHwnd(::GetForegroundWindow()); }

int Win32Windows::GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount) {
    return ::GetWindowTextW(ToHwnd(window), Wide(buffer), maxCount);
}

int Win32Windows::GetClassNameW(Hwnd window, char16_t* buffer, int maxCount) {
    return ::GetClassNameW(ToHwnd(window), Wide(buffer), maxCount);
}

std::uint32_t Win32Windows::GetWindowThreadProcessId(Hwnd window, std::uint32_t* processId) {
    DWORD pid = 0;
    const DWORD thread = ::GetWindowThreadProcessId(ToHwnd(window), &pid);
    if (processId != nullptr) *processId = pid;
    return thread;
}

Hwnd Win32Windows::FindWindowW(const Text* className, const Text* windowName) {
    return FromHwnd(::FindWindowW(className != nullptr ? Wide(*className) : nullptr,
                                  windowName != nullptr ? Wide(*windowName) : nullptr));
}

bool Win32Windows::IsWindow(Hwnd window) { return ::IsWindow(ToHwnd(window)) != FALSE; }

std::intptr_t Win32Windows::SendMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
    return ::SendMessageW(ToHwnd(window), message, wParam, lParam);
}

bool Win32Windows::SendMessageTimeoutW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam, std::uint32_t flags, std::uint32_t timeoutMs,
                                       std::uintptr_t* result) {
    DWORD_PTR answer = 0;
    const LRESULT ok = ::SendMessageTimeoutW(ToHwnd(window), message, wParam, lParam, flags, timeoutMs, &answer);
    if (result != nullptr) *result = answer;
    return ok != 0;
}

bool Win32Windows::PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return ::PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

bool Win32Windows::ShowWindow(Hwnd window, int command) { return ::ShowWindow(ToHwnd(window), command) != FALSE; }

bool Win32Windows::SetForegroundWindow(Hwnd window) { return ::SetForegroundWindow(ToHwnd(window)) != FALSE; }

Hwnd Win32Windows::GetDesktopWindow() { return FromHwnd(::GetDesktopWindow()); }

int Win32Windows::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

std::uint32_t Win32Windows::GetSysColor(int index) { return ::GetSysColor(index); }

std::uint32_t Win32Windows::CallGetDpiForWindow(ProcAddress entry, Hwnd window) {
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    if (entry == 0) return 0;
    return reinterpret_cast<GetDpiForWindowProc>(static_cast<std::uintptr_t>(entry))(ToHwnd(window));
}

int Win32Windows::CallGetSystemMetricsForDpi(ProcAddress entry, int index, std::uint32_t dpi) {
    using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);
    if (entry == 0) return 0;
    return reinterpret_cast<GetSystemMetricsForDpiProc>(static_cast<std::uintptr_t>(entry))(index, dpi);
}

bool Win32Windows::GetCursorPos(int* x, int* y) {
    POINT point{};
    const bool ok = ::GetCursorPos(&point) != FALSE;
    if (x != nullptr) *x = point.x;
    if (y != nullptr) *y = point.y;
    return ok;
}

bool Win32Windows::GetIconTitleLogFont(LogFontInfo* font) {
    if (font == nullptr) return false;
    LOGFONTW logFont{};
    if (!::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(logFont), &logFont, 0)) return false;
    font->lfHeight = logFont.lfHeight;
    font->lfWeight = logFont.lfWeight;
    font->lfCharSet = logFont.lfCharSet;
    logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    font->lfFaceName = reinterpret_cast<const char16_t*>(logFont.lfFaceName);
    return true;
}

int Win32Windows::GetSystemDpi() {
    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return 96;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void Win32Windows::ProcessWaitingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the program's own message loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::uint32_t Win32Windows::RegisterWindowMessageW(const Text& name) { return ::RegisterWindowMessageW(Wide(name)); }

KHandle Win32Windows::CreatePopupMenu() { return win32::ToKHandle(::CreatePopupMenu()); }

bool Win32Windows::AppendMenuW(KHandle menu, std::uint32_t flags, std::uintptr_t id, const Text& text) {
    const bool separator = (flags & MF_SEPARATOR) != 0;
    return ::AppendMenuW(win32::FromKHandle<HMENU>(menu), flags, id, separator ? nullptr : Wide(text)) != FALSE;
}

bool Win32Windows::SetMenuDefaultItem(KHandle menu, std::uint32_t item, bool byPosition) {
    return ::SetMenuDefaultItem(win32::FromKHandle<HMENU>(menu), item, byPosition ? TRUE : FALSE) != FALSE;
}

std::uint32_t Win32Windows::TrackPopupMenu(KHandle menu, std::uint32_t flags, int x, int y, Hwnd owner) {
    const BOOL result = ::TrackPopupMenu(win32::FromKHandle<HMENU>(menu), flags, x, y, 0, ToHwnd(owner), nullptr);
    // A menu opened for a background window must be followed by a message to
    // that window, or the next opening closes at once (the menu only ends
    // properly when its owner's thread sees another message).
    ::PostMessageW(ToHwnd(owner), WM_NULL, 0, 0);
    return static_cast<std::uint32_t>(result);
}

bool Win32Windows::DestroyMenu(KHandle menu) { return ::DestroyMenu(win32::FromKHandle<HMENU>(menu)) != FALSE; }

}  // namespace kx
