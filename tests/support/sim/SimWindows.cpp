#include "sim/SimWindows.h"

#include "sim/SimLibraries.h"

#include <algorithm>

namespace kx::sim {

namespace {
int CopyText(const Text& text, char16_t* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) return 0;
    const int n = std::min(static_cast<int>(text.size()), maxCount - 1);
    std::copy(text.begin(), text.begin() + n, buffer);
    buffer[n] = 0;
    return n;
}
}  // namespace

Hwnd SimWindows::GetForegroundWindow() { return world_.foreground; }

int SimWindows::GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount) {
    auto it = world_.windows.find(window);
    if (it == world_.windows.end()) {
        if (buffer != nullptr && maxCount > 0) buffer[0] = 0;
        return 0;
    }
    return CopyText(it->second.title, buffer, maxCount);
}

int SimWindows::GetClassNameW(Hwnd window, char16_t* buffer, int maxCount) {
    auto it = world_.windows.find(window);
    if (it == world_.windows.end()) return 0;
    return CopyText(it->second.className, buffer, maxCount);
}

std::uint32_t SimWindows::GetWindowThreadProcessId(Hwnd window, std::uint32_t* processId) {
    auto it = world_.windows.find(window);
    if (it == world_.windows.end()) {
        if (processId != nullptr) *processId = 0;
        return 0;
    }
    if (processId != nullptr) *processId = it->second.processId;
    return it->second.threadId;
}

Hwnd SimWindows::FindWindowW(const Text* className, const Text* windowName) {
    for (const auto& [handle, window] : world_.windows) {
        if (!window.topLevel) continue;
        if (className != nullptr && Upper(window.className) != Upper(*className)) continue;
        if (windowName != nullptr && window.title != *windowName) continue;
        return handle;
    }
    return 0;
}

bool SimWindows::IsWindow(Hwnd window) { return world_.windows.count(window) != 0; }

std::intptr_t SimWindows::SendMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    SentMessage sent{window, message, wParam, lParam, false, 0};
    world_.sentMessages.push_back(sent);
    if (world_.onMessage) world_.onMessage(sent);
    return 0;
}

bool SimWindows::SendMessageTimeoutW(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam, std::uint32_t /*flags*/, std::uint32_t timeoutMs,
                                     std::uintptr_t* result) {
    SentMessage sent{window, message, wParam, lParam, true, timeoutMs};
    world_.sentMessages.push_back(sent);
    if (result != nullptr) *result = 0;
    if (world_.windows.count(window) == 0) return false;
    if (world_.hungWindows.count(window) != 0) {
        world_.fileTimeUtc += static_cast<std::int64_t>(timeoutMs) * 10000;
        return false;
    }
    if (world_.onMessage) world_.onMessage(sent);
    return true;
}

bool SimWindows::PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    SentMessage sent{window, message, wParam, lParam, false, 0};
    world_.sentMessages.push_back(sent);
    if (world_.onMessage) world_.onMessage(sent);
    return world_.windows.count(window) != 0;
}

bool SimWindows::ShowWindow(Hwnd window, int command) {
    world_.showWindowCalls.emplace_back(window, command);
    return world_.windows.count(window) != 0;
}

bool SimWindows::SetForegroundWindow(Hwnd window) {
    world_.foregroundRequests.push_back(window);
    if (world_.windows.count(window) == 0) return false;
    world_.foreground = window;
    return true;
}

Hwnd SimWindows::GetDesktopWindow() { return world_.desktop; }

int SimWindows::GetSystemMetrics(int index) {
    if (world_.onSystemMetrics) world_.onSystemMetrics(index);
    auto it = world_.metrics.find(index);
    return it == world_.metrics.end() ? 0 : it->second;
}

std::uint32_t SimWindows::CallGetDpiForWindow(ProcAddress entry, Hwnd window) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"USER32.DLL", "GetDpiForWindow")) return 0;
    if (world_.windows.count(window) == 0) return 0;
    const auto it = world_.windowDpi.find(window);
    return it != world_.windowDpi.end() ? it->second : static_cast<std::uint32_t>(world_.systemDpi);
}

int SimWindows::CallGetSystemMetricsForDpi(ProcAddress entry, int index, std::uint32_t dpi) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"USER32.DLL", "GetSystemMetricsForDpi")) return 0;
    // The small icon is 16 pixels at 96 dpi and grows with the scale.
    if (index == w32::kSmCxSmIcon || index == w32::kSmCySmIcon) return static_cast<int>(16 * dpi / 96);
    return GetSystemMetrics(index);
}

std::uint32_t SimWindows::GetSysColor(int index) {
    if (index < 0 || index >= static_cast<int>(world_.sysColors.size())) return 0;
    return world_.sysColors[static_cast<std::size_t>(index)];
}

bool SimWindows::GetCursorPos(int* x, int* y) {
    if (x != nullptr) *x = world_.cursorX;
    if (y != nullptr) *y = world_.cursorY;
    return true;
}

bool SimWindows::GetIconTitleLogFont(LogFontInfo* font) {
    if (world_.iconTitleFontFails || font == nullptr) return false;
    *font = world_.iconTitleFont;
    return true;
}

int SimWindows::GetSystemDpi() { return world_.systemDpi; }

void SimWindows::ProcessWaitingMessages() { ++world_.waitingMessageRuns; }

std::uint32_t SimWindows::RegisterWindowMessageW(const Text& name) {
    auto it = world_.registeredMessages.find(Upper(name));
    if (it != world_.registeredMessages.end()) return it->second;
    const auto id = static_cast<std::uint32_t>(0xC000 + world_.registeredMessages.size());
    world_.registeredMessages[Upper(name)] = id;
    return id;
}

KHandle SimWindows::CreatePopupMenu() {
    KHandle menu = world_.handles.Open(HandleKind::Menu, 0);
    world_.menus[menu] = SimMenu{};
    return menu;
}

bool SimWindows::AppendMenuW(KHandle menu, std::uint32_t flags, std::uintptr_t id, const Text& text) {
    auto it = world_.menus.find(menu);
    if (it == world_.menus.end()) return false;
    it->second.items.push_back(SimMenuItem{flags, id, text});
    return true;
}

bool SimWindows::SetMenuDefaultItem(KHandle menu, std::uint32_t item, bool byPosition) {
    auto it = world_.menus.find(menu);
    if (it == world_.menus.end()) return false;
    if (byPosition) {
        it->second.defaultItem = static_cast<int>(item);
        return true;
    }
    for (std::size_t i = 0; i < it->second.items.size(); ++i) {
        if (it->second.items[i].id == item) {
            it->second.defaultItem = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::uint32_t SimWindows::TrackPopupMenu(KHandle menu, std::uint32_t flags, int x, int y, Hwnd owner) {
    auto it = world_.menus.find(menu);
    if (it == world_.menus.end()) return 0;
    world_.trackPopupCalls.push_back(TrackPopupCall{it->second.items, it->second.defaultItem, flags, x, y, owner});
    return world_.trackPopupChoice;
}

bool SimWindows::DestroyMenu(KHandle menu) {
    world_.menus.erase(menu);
    return world_.handles.Close(menu, HandleKind::Menu);
}

}  // namespace kx::sim
