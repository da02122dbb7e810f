// What the tray tests share: KestrixTray started in the virtual desktop with
// its settings reset and the companions' log in the test's artefacts, its
// icon found among the taskbar's notification icons, the open menu read, and
// the companion stand-ins' log.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "WineTestSupport.h"

namespace traytest {

// The desktop's taskbar. Wine's explorer draws the notification icons in it
// itself, from its right end leftwards, each in a cell of the small-icon
// size and a border of two pixels all round, centred in the bar's height.
constexpr wchar_t kTaskbarClass[] = L"Shell_TrayWnd";
constexpr wchar_t kMenuClass[] = L"#32768";

inline std::wstring LogPath() { return kxtest::ArtifactsFolder() + L"companions.log"; }

// The companion stand-ins' log lines (they append to KX_COMPANION_LOG).
inline std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const auto bytes = kxtest::ReadFileBytes(LogPath());
    if (!bytes) return lines;
    std::string line;
    for (char c : *bytes) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

inline bool LogHas(const std::string& line) {
    for (const auto& l : LogLines()) {
        if (l.rfind(line, 0) == 0) return true;
    }
    return false;
}

struct IconCell {
    RECT picture{};    // where the first icon's picture is drawn
    POINT center{};    // where a click reaches it
    POINT background{};  // a point of the bar left of the icons
};

inline bool FirstIconCell(IconCell* cell) {
    HWND taskbar = ::FindWindowW(kTaskbarClass, nullptr);
    RECT bar{};
    if (taskbar == nullptr || !::GetWindowRect(taskbar, &bar)) return false;
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    const int left = bar.right - (cx + 4) + 2;
    const int top = bar.top + ((bar.bottom - bar.top) - (cy + 4)) / 2 + 2;
    cell->picture = RECT{left, top, left + cx, top + cy};
    cell->center = POINT{left + cx / 2, top + cy / 2};
    cell->background = POINT{left - 8, top + cy / 2};
    return true;
}

// True when something is drawn in the first icon's cell of the notification area.
inline bool IconShown() {
    IconCell cell;
    if (!FirstIconCell(&cell)) return false;
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    if (screen.Empty()) return false;
    const std::uint32_t background = screen.At(cell.background.x, cell.background.y);
    int differing = 0;
    for (int y = cell.picture.top; y < cell.picture.bottom; ++y) {
        for (int x = cell.picture.left; x < cell.picture.right; ++x) {
            if (screen.At(x, y) != background) ++differing;
        }
    }
    return differing >= 16;  // at least a row's worth: the picture, not a stray pixel
}

inline bool WaitForIconShown(bool shown, DWORD timeoutMs) {
    return kxtest::WaitUntil([shown] { return IconShown() == shown; }, timeoutMs, 200);
}

inline HWND VisibleMenu() {
    HWND menu = ::FindWindowW(kMenuClass, nullptr);
    return menu != nullptr && ::IsWindowVisible(menu) ? menu : nullptr;
}

inline HWND WaitForMenu(DWORD timeoutMs) {
    HWND menu = nullptr;
    kxtest::WaitUntil([&] { return (menu = VisibleMenu()) != nullptr; }, timeoutMs);
    return menu;
}

inline void PressKey(WORD key) {
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, inputs, sizeof(INPUT));
}

// The screenshot of a region around a point, for the artefacts.
inline void SaveRegion(const std::wstring& baseName, POINT center, int halfWidth, int halfHeight) {
    kxtest::Pixels screen = kxtest::CaptureScreen();
    if (screen.Empty()) return;
    kxtest::Pixels region;
    region.left = std::max(screen.left, static_cast<int>(center.x) - halfWidth);
    region.top = std::max(screen.top, static_cast<int>(center.y) - halfHeight);
    const int right = std::min(screen.left + screen.width, static_cast<int>(center.x) + halfWidth);
    const int bottom = std::min(screen.top + screen.height, static_cast<int>(center.y) + halfHeight);
    region.width = right - region.left;
    region.height = bottom - region.top;
    for (int y = region.top; y < bottom; ++y) {
        for (int x = region.left; x < right; ++x) region.rgb.push_back(screen.At(x, y));
    }
    kxtest::SaveBmp(region, kxtest::ArtifactsFolder() + baseName + L".bmp");
}

// A picture of a menu window as it is drawn.
struct MenuShot {
    RECT rect{};
    kxtest::Pixels pixels;
};

inline MenuShot CaptureMenu(HWND menuWindow) {
    MenuShot shot;
    if (menuWindow == nullptr || !::GetWindowRect(menuWindow, &shot.rect)) return shot;
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    if (screen.Empty()) return shot;
    shot.pixels.left = shot.rect.left;
    shot.pixels.top = shot.rect.top;
    shot.pixels.width = shot.rect.right - shot.rect.left;
    shot.pixels.height = shot.rect.bottom - shot.rect.top;
    for (int y = shot.rect.top; y < shot.rect.bottom; ++y) {
        for (int x = shot.rect.left; x < shot.rect.right; ++x) shot.pixels.rgb.push_back(screen.At(x, y));
    }
    return shot;
}

struct ReferenceMenu {
    std::vector<std::wstring> items;  // "-" for a separator
    POINT at{};
    HWND owner = nullptr;
};

constexpr UINT kEndReferenceMenu = WM_APP + 7;

inline LRESULT CALLBACK ReferenceMenuOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kEndReferenceMenu) {
        ::EndMenu();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

inline DWORD WINAPI ReferenceMenuThread(void* parameter) {
    auto* reference = static_cast<ReferenceMenu*>(parameter);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ReferenceMenuOwnerProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KXReferenceMenuOwner";
    ::RegisterClassW(&windowClass);  // fails harmlessly when registered already
    HWND owner = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"KXReferenceMenuOwner", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
    HMENU menu = ::CreatePopupMenu();
    UINT id = 1;
    for (const auto& item : reference->items) {
        if (item == L"-") {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            ::AppendMenuW(menu, MF_STRING, id, item.c_str());
        }
        ++id;
    }
    ::SetMenuDefaultItem(menu, 0, TRUE);
    reference->owner = owner;
    ::SetForegroundWindow(owner);
    ::TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, reference->at.x,
                     reference->at.y, 0, owner, nullptr);
    ::DestroyMenu(menu);
    ::DestroyWindow(owner);
    return 0;
}

// The same menu as the tray's (the same kind of window, flags and place)
// with the given texts and the first item as default, drawn by this test
// program itself: what the tray's menu must look like pixel for pixel.
inline MenuShot CaptureReferenceMenu(const std::vector<std::wstring>& items, POINT at) {
    MenuShot shot;
    // The pointer leaves the icon first: resting there, it brings up the icon's
    // tooltip, which would be drawn over the reference.
    ::SetCursorPos(0, 0);
    kxtest::WaitUntil(
        [] {
            HWND tip = ::FindWindowW(L"tooltips_class32", nullptr);
            for (; tip != nullptr; tip = ::FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) {
                if (::IsWindowVisible(tip)) return false;
            }
            return true;
        },
        3000);
    ReferenceMenu reference{items, at, nullptr};
    HANDLE thread = ::CreateThread(nullptr, 0, ReferenceMenuThread, &reference, 0, nullptr);
    if (thread == nullptr) return shot;
    HWND menuWindow = nullptr;
    kxtest::WaitUntil(
        [&] {
            menuWindow = ::FindWindowW(L"#32768", nullptr);
            DWORD pid = 0;
            if (menuWindow != nullptr) ::GetWindowThreadProcessId(menuWindow, &pid);
            return menuWindow != nullptr && ::IsWindowVisible(menuWindow) && pid == ::GetCurrentProcessId();
        },
        5000);
    ::Sleep(300);
    shot = CaptureMenu(menuWindow);
    if (reference.owner != nullptr) ::PostMessageW(reference.owner, kEndReferenceMenu, 0, 0);
    if (::WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0) ::TerminateThread(thread, 1);
    ::CloseHandle(thread);
    return shot;
}

// Both pictures are saved as artefacts; true when they are equal pixel for pixel.
inline bool SameMenus(const MenuShot& shown, const MenuShot& expected, const std::wstring& baseName) {
    kxtest::SaveBmp(shown.pixels, kxtest::ArtifactsFolder() + baseName + L".bmp");
    kxtest::SaveBmp(expected.pixels, kxtest::ArtifactsFolder() + baseName + L"-expected.bmp");
    return !shown.pixels.Empty() && shown.pixels.width == expected.pixels.width &&
           shown.pixels.height == expected.pixels.height && shown.pixels.rgb == expected.pixels.rgb;
}

// KestrixTray.exe started fresh: no settings but the given language, the
// companions' log emptied and inherited by every program it starts.
class TrayProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kxtest::FindTopWindow(L"TKXTrayForm"), nullptr) << "a KestrixTray of an earlier test still runs";
        kxtest::DeleteKeyTree();
        ::DeleteFileW(LogPath().c_str());
        ::SetEnvironmentVariableW(L"KX_COMPANION_LOG", LogPath().c_str());
    }

    void TearDown() override {
        // The companions first, then KestrixTray by its own WM_CLOSE, so its icon leaves the taskbar.
        for (const wchar_t* name : {L"TKXSettingsForm", L"TKXMainForm"}) {
            for (HWND window; (window = kxtest::FindTopWindow(name)) != nullptr;) {
                DWORD_PTR answer = 0;
                ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
                if (kxtest::FindTopWindow(name) == window) break;
            }
        }
        if (HWND form = kxtest::FindTopWindow(L"TKXTrayForm")) ::PostMessageW(form, WM_CLOSE, 0, 0);
        if (tray.Started() && !tray.WaitForExit(5000)) tray.Terminate();
    }

    void StartTray(const std::wstring& language = L"") {
        if (!language.empty()) {
            ASSERT_TRUE(kxtest::SetStringValue(L"Language", language));
        }
        tray = kxtest::StartProgram(L"KestrixTray.exe");
        ASSERT_TRUE(tray.Started());
        ASSERT_NE(kxtest::WaitForWindow(L"TKXTrayForm", 10000), nullptr);
    }

    // Waits for the icon; fails the test when it does not come.
    POINT IconPoint() {
        EXPECT_TRUE(WaitForIconShown(true, 10000)) << "no icon in the taskbar's notification area";
        IconCell cell;
        EXPECT_TRUE(FirstIconCell(&cell)) << "no taskbar";
        return cell.center;
    }

    HWND OpenMenu(POINT icon) {
        kxtest::RightClick(icon.x, icon.y);
        return WaitForMenu(5000);
    }

    kxtest::Program tray;
};

}  // namespace traytest
