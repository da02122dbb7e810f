#include "platform/win32/Win32Processes.h"

// <windows.h> (through Win32Handles.h) before the headers that build on it.
#include "platform/win32/Win32Handles.h"

// psapi.dll's own GetModuleFileNameExW (present on every release), not the
// kernel32 alias of Windows 7 that later psapi versions rename it to.
#ifdef PSAPI_VERSION
#undef PSAPI_VERSION
#endif
#define PSAPI_VERSION 1
#include <psapi.h>
#include <tlhelp32.h>

#include "platform/win32/Win32SystemLibrary.h"

#include <vector>

namespace kx {

using win32::FromKHandle;
using win32::ToKHandle;
using win32::Wide;

static_assert(sizeof(THREADENTRY32) == 28, "THREADENTRY32 is 28 bytes on every Windows");

namespace {

// The signatures of the entries looked up by name.
using GetProcessImageFileNameWProc = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD);
using OpenThreadProc = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);

template <typename Proc>
Proc EntryAs(ProcAddress entry) {
    return reinterpret_cast<Proc>(static_cast<std::uintptr_t>(entry));
}

// Toolhelp fills at most the size the caller states; never more than the
// record on this side holds.
bool WalkThreads(KHandle snapshot, ThreadEntry32* entry, bool first) {
    if (entry == nullptr) return false;
    THREADENTRY32 record{};
    record.dwSize = entry->dwSize < sizeof record ? entry->dwSize : static_cast<DWORD>(sizeof record);
    HANDLE handle = FromKHandle<HANDLE>(snapshot);
    const BOOL ok = first ? ::Thread32First(handle, &record) : ::Thread32Next(handle, &record);
    if (!ok) return false;
    entry->th32ThreadID = record.th32ThreadID;
    entry->th32OwnerProcessID = record.th32OwnerProcessID;
    return true;
}

}  // namespace

KHandle Win32Processes::OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t processId) {
    return ToKHandle(::OpenProcess(access, inheritHandle ? TRUE : FALSE, processId));
}

bool Win32Processes::CloseHandle(KHandle handle) {
    if (handle == 0) return false;
    return ::CloseHandle(FromKHandle<HANDLE>(handle)) != FALSE;
}

std::uint32_t Win32Processes::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

bool Win32Processes::SetPriorityClass(KHandle process, std::uint32_t priorityClass) {
    return ::SetPriorityClass(FromKHandle<HANDLE>(process), priorityClass) != FALSE;
}

std::uint32_t Win32Processes::GetPriorityClass(KHandle process) {
    return ::GetPriorityClass(FromKHandle<HANDLE>(process));
}

std::uint32_t Win32Processes::GetModuleFileNameExW(KHandle process, char16_t* buffer, std::uint32_t size) {
    // psapi.dll is not among the KnownDLLs of every release: bound at the first use from the system folder.
    static const auto entry =
        win32::SystemEntry<decltype(&::GetModuleFileNameExW)>(win32::LoadFromSystemFolder(L"psapi.dll"), "GetModuleFileNameExW");
    if (entry == nullptr || buffer == nullptr || size == 0) return 0;
    return entry(FromKHandle<HANDLE>(process), nullptr, Wide(buffer), size);
}

std::uint32_t Win32Processes::CallGetProcessImageFileNameW(ProcAddress entry, KHandle process, char16_t* buffer,
                                                           std::uint32_t size) {
    if (entry == 0 || buffer == nullptr || size == 0) return 0;
    return EntryAs<GetProcessImageFileNameWProc>(entry)(FromKHandle<HANDLE>(process), Wide(buffer), size);
}

KHandle Win32Processes::CallOpenThread(ProcAddress entry, std::uint32_t access, bool inheritHandle,
                                       std::uint32_t threadId) {
    if (entry == 0) return 0;
    return ToKHandle(EntryAs<OpenThreadProc>(entry)(access, inheritHandle ? TRUE : FALSE, threadId));
}

std::uint32_t Win32Processes::SetThreadIdealProcessor(KHandle thread, std::uint32_t processor) {
    return ::SetThreadIdealProcessor(FromKHandle<HANDLE>(thread), processor);
}

bool Win32Processes::GetProcessCreationTime(KHandle process, std::int64_t* creationTime) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (creationTime == nullptr || !::GetProcessTimes(FromKHandle<HANDLE>(process), &created, &exited, &kernel, &user)) {
        return false;
    }
    *creationTime = static_cast<std::int64_t>((static_cast<std::uint64_t>(created.dwHighDateTime) << 32) |
                                              created.dwLowDateTime);
    return true;
}

bool Win32Processes::CallSetThreadIdealProcessorEx(ProcAddress entry, KHandle thread, ProcessorNumber ideal,
                                                   ProcessorNumber* previous) {
    using SetThreadIdealProcessorExProc = BOOL(WINAPI*)(HANDLE, PPROCESSOR_NUMBER, PPROCESSOR_NUMBER);
    if (entry == 0) return false;
    PROCESSOR_NUMBER wanted{};
    wanted.Group = ideal.group;
    wanted.Number = ideal.number;
    PROCESSOR_NUMBER before{};
    if (!EntryAs<SetThreadIdealProcessorExProc>(entry)(FromKHandle<HANDLE>(thread), &wanted, &before)) return false;
    if (previous != nullptr) {
        previous->group = before.Group;
        previous->number = before.Number;
    }
    return true;
}

bool Win32Processes::CallGetThreadGroupAffinity(ProcAddress entry, KHandle thread, std::uint16_t* group) {
    using GetThreadGroupAffinityProc = BOOL(WINAPI*)(HANDLE, PGROUP_AFFINITY);
    if (entry == 0 || group == nullptr) return false;
    GROUP_AFFINITY affinity{};
    if (!EntryAs<GetThreadGroupAffinityProc>(entry)(FromKHandle<HANDLE>(thread), &affinity)) return false;
    *group = affinity.Group;
    return true;
}

bool Win32Processes::CallGetProcessDefaultCpuSets(ProcAddress entry, KHandle process, std::vector<std::uint32_t>* ids) {
    // BOOL WINAPI GetProcessDefaultCpuSets(HANDLE, PULONG, ULONG, PULONG)
    using GetProcessDefaultCpuSetsProc = BOOL(WINAPI*)(HANDLE, PULONG, ULONG, PULONG);
    if (entry == 0 || ids == nullptr) return false;
    const auto query = EntryAs<GetProcessDefaultCpuSetsProc>(entry);
    // A system has a few hundred CPU sets at most: one try with room for all of them.
    std::vector<ULONG> buffer(1024);
    ULONG count = 0;
    if (!query(FromKHandle<HANDLE>(process), buffer.data(), static_cast<ULONG>(buffer.size()), &count)) return false;
    if (count > buffer.size()) return false;
    ids->assign(buffer.begin(), buffer.begin() + count);
    return true;
}

std::uint32_t Win32Processes::CallSetProcessDefaultCpuSets(ProcAddress entry, KHandle process,
                                                           const std::vector<std::uint32_t>& ids) {
    // BOOL WINAPI SetProcessDefaultCpuSets(HANDLE, const ULONG*, ULONG)
    using SetProcessDefaultCpuSetsProc = BOOL(WINAPI*)(HANDLE, const ULONG*, ULONG);
    if (entry == 0) return ERROR_PROC_NOT_FOUND;
    const std::vector<ULONG> list(ids.begin(), ids.end());
    if (EntryAs<SetProcessDefaultCpuSetsProc>(entry)(FromKHandle<HANDLE>(process), list.empty() ? nullptr : list.data(),
                                                      static_cast<ULONG>(list.size()))) {
        return 0;
    }
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

bool Win32Processes::GetProcessAffinityMask(KHandle process, std::uint64_t* processMask, std::uint64_t* systemMask) {
    DWORD_PTR own = 0;
    DWORD_PTR system = 0;
    if (processMask == nullptr || systemMask == nullptr ||
        !::GetProcessAffinityMask(FromKHandle<HANDLE>(process), &own, &system)) {
        return false;
    }
    *processMask = own;
    *systemMask = system;
    return true;
}

std::uint32_t Win32Processes::GetLastError() { return ::GetLastError(); }

KHandle Win32Processes::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(flags, processId);
    return snapshot == INVALID_HANDLE_VALUE ? 0 : ToKHandle(snapshot);
}

bool Win32Processes::Thread32First(KHandle snapshot, ThreadEntry32* entry) { return WalkThreads(snapshot, entry, true); }

bool Win32Processes::Thread32Next(KHandle snapshot, ThreadEntry32* entry) { return WalkThreads(snapshot, entry, false); }

Text Win32Processes::GetOwnModuleFileName() {
    // Paths may be longer than MAX_PATH; the buffer grows until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    while (buffer.size() <= 32768) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return {};
        if (length < size) return Text(reinterpret_cast<const char16_t*>(buffer.data()), length);
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

bool Win32Processes::ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) {
    DWORD session = 0;
    if (::ProcessIdToSessionId(processId, &session) == FALSE) return false;
    *sessionId = session;
    return true;
}

}  // namespace kx
