// user32, as the program calls it.
#pragma once

#include <cstdint>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

// The part of LOGFONTW the program looks at.
struct LogFontInfo {
    std::int32_t lfHeight = 0;
    std::int32_t lfWeight = 0;
    std::uint8_t lfCharSet = 0;
    Text lfFaceName;
};

class IWindows {
public:
    virtual ~IWindows() = default;
    virtual Hwnd GetForegroundWindow() = 0;
    // As the platform: copies at most maxCount - 1 characters and a zero.
    virtual int GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount) = 0;
    virtual int GetClassNameW(Hwnd window, char16_t* buffer, int maxCount) = 0;
    // Returns the id of the thread that created the window; 0 when there is none.
    virtual std::uint32_t GetWindowThreadProcessId(Hwnd window, std::uint32_t* processId) = 0;
    // Null pointers stand for "not given".
    virtual Hwnd FindWindowW(const Text* className, const Text* windowName) = 0;
    virtual bool IsWindow(Hwnd window) = 0;
    virtual std::intptr_t SendMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) = 0;
    // Returns false when the call failed or timed out.
    virtual bool SendMessageTimeoutW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                                     std::uint32_t flags, std::uint32_t timeoutMs, std::uintptr_t* result) = 0;
    virtual bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual bool ShowWindow(Hwnd window, int command) = 0;
    virtual bool SetForegroundWindow(Hwnd window) = 0;
    virtual Hwnd GetDesktopWindow() = 0;
    virtual int GetSystemMetrics(int index) = 0;
    virtual std::uint32_t GetSysColor(int index) = 0;
    // GetDpiForWindow and GetSystemMetricsForDpi found by GetProcAddress in
    // "user32.dll" (Windows 10 1607 and later); 0 when they fail.
    virtual std::uint32_t CallGetDpiForWindow(ProcAddress entry, Hwnd window) = 0;
    virtual int CallGetSystemMetricsForDpi(ProcAddress entry, int index, std::uint32_t dpi) = 0;
    virtual bool GetCursorPos(int* x, int* y) = 0;
    // SystemParametersInfoW(SPI_GETICONTITLELOGFONT).
    virtual bool GetIconTitleLogFont(LogFontInfo* font) = 0;
    // Pixels per logical inch of the screen (LOGPIXELSY of the screen), by
    // which font heights convert to points.
    virtual int GetSystemDpi() = 0;
    // Handles the messages already waiting for this thread (a PeekMessage loop).
    virtual void ProcessWaitingMessages() = 0;
    virtual std::uint32_t RegisterWindowMessageW(const Text& name) = 0;

    // Pop-up menus.
    virtual KHandle CreatePopupMenu() = 0;
    // flags: MF_STRING (0) or MF_SEPARATOR (0x800).
    virtual bool AppendMenuW(KHandle menu, std::uint32_t flags, std::uintptr_t id, const Text& text) = 0;
    virtual bool SetMenuDefaultItem(KHandle menu, std::uint32_t item, bool byPosition) = 0;
    // Returns the chosen command id with TPM_RETURNCMD, else nonzero on success.
    virtual std::uint32_t TrackPopupMenu(KHandle menu, std::uint32_t flags, int x, int y, Hwnd owner) = 0;
    virtual bool DestroyMenu(KHandle menu) = 0;
};

inline void DestroyMenuHandle(IWindows& api, KHandle menu) { api.DestroyMenu(menu); }
using OwnedMenu = Owned<IWindows, DestroyMenuHandle>;

}  // namespace kx
