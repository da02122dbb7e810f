#include "platform/win32/MessageFilter.h"

namespace kx::win32 {

void AllowMessagesFromOrdinaryPrograms(HWND window, std::initializer_list<UINT> messages) {
    using ChangeFilter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    constexpr DWORD kMsgFltAllow = 1;
    // user32 is loaded already: the lookup loads nothing.
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (window == nullptr || user32 == nullptr) return;
    const auto change = reinterpret_cast<ChangeFilter>(
        reinterpret_cast<void (*)()>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    if (change == nullptr) return;
    for (UINT message : messages) {
        if (!change(window, message, kMsgFltAllow, nullptr)) {
            ::OutputDebugStringW(L"KestrixTray: ChangeWindowMessageFilterEx refused a message\n");
        }
    }
}

}  // namespace kx::win32
