#include "ProcessCost.h"

#include <psapi.h>

#include <sstream>

#include "WineTestSupport.h"

namespace kxtest {

namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters)) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

DWORD OpenHandleCount() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
    // Handle values step by 4 from 4; the table is dense from the bottom, so
    // the search ends after a long run of empty slots.
    constexpr DWORD kEmptyRunToStop = 1024;
    DWORD emptyRun = 0;
    for (ULONG_PTR value = 4; emptyRun < kEmptyRunToStop; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            emptyRun = 0;
        } else {
            ++emptyRun;
        }
    }
    return count;
}

ULONGLONG OwnProcessorTime() {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

std::string LinuxPidOf(const std::string& name) {
    char prefix[1024] = {};
    if (::GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix) == 0) return {};
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::string found;
    do {
        const std::string pid = entry.cFileName;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto commandLine = ReadFileBytes(L"Z:\\proc\\" + Wide(pid) + L"\\cmdline");
        if (!commandLine || commandLine->find(name) == std::string::npos) continue;
        // Other builds' prefixes may run the same programs at the same time.
        const auto environment = ReadFileBytes(L"Z:\\proc\\" + Wide(pid) + L"\\environ");
        if (environment && environment->find(std::string("WINEPREFIX=") + prefix + '\0') != std::string::npos) {
            found = pid;
            break;
        }
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return found;
}

ULONGLONG LinuxProcessorTime(const std::string& pid) {
    if (pid.empty()) return 0;
    const auto stat = ReadFileBytes(L"Z:\\proc\\" + Wide(pid) + L"\\stat");
    if (!stat || stat->rfind(')') == std::string::npos) return 0;
    // After the command name in parentheses: state is field 3, utime 14, stime 15.
    std::istringstream fields(stat->substr(stat->rfind(')') + 2));
    std::string field;
    ULONGLONG ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number >= 14) ticks += std::stoull(field);
    }
    return ticks * 100000;
}

ULONGLONG LinuxThreadClockTime(const std::string& pid) {
    if (pid.empty()) return 0;
    const std::wstring tasks = L"Z:\\proc\\" + Wide(pid) + L"\\task\\";
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((tasks + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    ULONGLONG nanoseconds = 0;
    do {
        const std::wstring tid = entry.cFileName;
        if (tid.empty() || tid.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        // schedstat: time on a processor (ns), time waiting to run (ns), slices.
        const auto schedstat = ReadFileBytes(tasks + tid + L"\\schedstat");
        if (!schedstat) continue;
        try {
            nanoseconds += std::stoull(*schedstat);
        } catch (...) {
        }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return nanoseconds / 100;
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace kxtest
