// Conversions between the seam's portable handle values and the handle types
// of <windows.h>. A KHandle carries the handle's bits through uintptr_t; the
// predefined registry roots (0x80000000 and up) are sign-extended as Windows
// defines them, so they survive a 64-bit build as well as the 32-bit one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/Types.h"

namespace kx::win32 {

template <typename H>
inline H FromKHandle(KHandle handle) {
    return reinterpret_cast<H>(static_cast<std::uintptr_t>(handle));
}

template <typename H>
inline KHandle ToKHandle(H handle) {
    return static_cast<KHandle>(reinterpret_cast<std::uintptr_t>(handle));
}

inline HKEY ToHkey(KHandle key) {
    // HKEY_CLASSES_ROOT .. HKEY_CURRENT_USER_LOCAL_SETTINGS are (HKEY)(ULONG_PTR)(LONG)0x8000000N.
    if (key >= 0x80000000u && key <= 0x800000FFu) {
        const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(key));
        return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(low)));
    }
    return FromKHandle<HKEY>(key);
}

inline KHandle FromHkey(HKEY key) { return ToKHandle(key); }

inline HWND ToHwnd(Hwnd window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

inline Hwnd FromHwnd(HWND window) {
    // User handles are 32 bits wide on every Windows, also for 64-bit processes.
    return static_cast<Hwnd>(reinterpret_cast<std::uintptr_t>(window));
}

// Text is UTF-16 and so is wchar_t on Windows: the buffers are the same bytes.
inline const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* Wide(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }

}  // namespace kx::win32
