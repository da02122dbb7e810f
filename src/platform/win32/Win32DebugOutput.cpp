#include "platform/win32/Win32DebugOutput.h"

#include <windows.h>

namespace kx {

void Win32DebugOutput::OutputDebugStringW(const Text& text) {
    ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace kx
