// What the main program's pages share: control styles and small texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "AppCore.h"
#include "config/TextRules.h"

namespace kxapp {

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT;
constexpr UINT_PTR kRefreshTimer = 1;

// A caption without its access-key ampersand.
inline std::wstring Plain(const std::wstring& text) {
    const Text plain = kx::StripAccessKey(T(text));
    return std::wstring(plain.begin(), plain.end());
}

inline std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

// A save that wrote nothing because the user entered values KestrixTray does
// not accept names them.
inline std::wstring InvalidText(const std::vector<Text>& names) {
    std::wstring text = L"Not saved, not a valid value:";
    for (const Text& name : names) text += L" " + Wide(name);
    return text;
}

}  // namespace kxapp
