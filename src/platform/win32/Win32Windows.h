// user32 for the program: windows, messages, metrics, the cursor and pop-up menus.
#pragma once

#include "platform/WindowApi.h"

namespace kx {

class Win32Windows : public IWindows {
public:
    Hwnd GetForegroundWindow() override;
    int GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount) override;
    int GetClassNameW(Hwnd window, char16_t* buffer, int maxCount) override;
    std::uint32_t GetWindowThreadProcessId(Hwnd window, std::uint32_t* processId) override;
    Hwnd FindWindowW(const Text* className, const Text* windowName) override;
    bool IsWindow(Hwnd window) override;
    std::intptr_t SendMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override;
    bool SendMessageTimeoutW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                             std::uint32_t flags, std::uint32_t timeoutMs, std::uintptr_t* result) override;
    bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool ShowWindow(Hwnd window, int command) override;
    bool SetForegroundWindow(Hwnd window) override;
    Hwnd GetDesktopWindow() override;
    int GetSystemMetrics(int index) override;
    std::uint32_t GetSysColor(int index) override;
    std::uint32_t CallGetDpiForWindow(ProcAddress entry, Hwnd window) override;
    int CallGetSystemMetricsForDpi(ProcAddress entry, int index, std::uint32_t dpi) override;
    bool GetCursorPos(int* x, int* y) override;
    bool GetIconTitleLogFont(LogFontInfo* font) override;
    int GetSystemDpi() override;
    void ProcessWaitingMessages() override;
    std::uint32_t RegisterWindowMessageW(const Text& name) override;
    KHandle CreatePopupMenu() override;
    bool AppendMenuW(KHandle menu, std::uint32_t flags, std::uintptr_t id, const Text& text) override;
    bool SetMenuDefaultItem(KHandle menu, std::uint32_t item, bool byPosition) override;
    std::uint32_t TrackPopupMenu(KHandle menu, std::uint32_t flags, int x, int y, Hwnd owner) override;
    bool DestroyMenu(KHandle menu) override;
};

}  // namespace kx
