#include "platform/win32/Win32Clock.h"

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include "platform/win32/Win32Handles.h"

namespace kx {

void Win32Clock::GetLocalTime(SystemTime* time) {
    if (time == nullptr) return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    time->wYear = now.wYear;
    time->wMonth = now.wMonth;
    time->wDayOfWeek = now.wDayOfWeek;
    time->wDay = now.wDay;
    time->wHour = now.wHour;
    time->wMinute = now.wMinute;
    time->wSecond = now.wSecond;
    time->wMilliseconds = now.wMilliseconds;
}

void Win32Clock::GetSystemTimeAsFileTime(std::int64_t* fileTime) {
    if (fileTime == nullptr) return;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    *fileTime = static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

void Win32Clock::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint64_t Win32Clock::GetTickCount64() { return ::GetTickCount64(); }

long Win32Clock::VarDateFromStr(const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) {
    if (date == nullptr) return E_POINTER;
    DATE parsed = 0.0;
    // The parser takes a writable pointer in older headers but does not write through it.
    const HRESULT result =
        ::VarDateFromStr(const_cast<wchar_t*>(win32::Wide(text)), static_cast<LCID>(lcid), flags, &parsed);
    if (SUCCEEDED(result)) *date = parsed;
    return result;
}

}  // namespace kx
