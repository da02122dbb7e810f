// kernel32 and psapi for processes and threads, as the program calls them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

// THREADENTRY32, the fields the program uses; dwSize is set to 28.
struct ThreadEntry32 {
    std::uint32_t dwSize = 0;
    std::uint32_t th32ThreadID = 0;
    std::uint32_t th32OwnerProcessID = 0;
};

// PROCESSOR_NUMBER: a logical processor as a group and a number inside it.
struct ProcessorNumber {
    std::uint16_t group = 0;
    std::uint8_t number = 0;
    bool operator==(const ProcessorNumber& other) const { return group == other.group && number == other.number; }
};

class IProcesses {
public:
    virtual ~IProcesses() = default;
    virtual KHandle OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t processId) = 0;
    virtual bool CloseHandle(KHandle handle) = 0;
    virtual std::uint32_t GetCurrentProcessId() = 0;
    virtual bool SetPriorityClass(KHandle process, std::uint32_t priorityClass) = 0;
    // 0 on failure.
    virtual std::uint32_t GetPriorityClass(KHandle process) = 0;
    // GetProcessTimes' creation time (a FILETIME as one number); false on failure.
    virtual bool GetProcessCreationTime(KHandle process, std::int64_t* creationTime) = 0;
    // psapi's GetModuleFileNameExW with no module; returns the length copied.
    virtual std::uint32_t GetModuleFileNameExW(KHandle process, char16_t* buffer, std::uint32_t size) = 0;
    // GetProcessImageFileNameW found by GetProcAddress in "Psapi.dll".
    virtual std::uint32_t CallGetProcessImageFileNameW(ProcAddress entry, KHandle process, char16_t* buffer,
                                                       std::uint32_t size) = 0;
    // OpenThread found by GetProcAddress in "kernel32.dll".
    virtual KHandle CallOpenThread(ProcAddress entry, std::uint32_t access, bool inheritHandle,
                                   std::uint32_t threadId) = 0;
    // Returns the previous ideal processor, or 0xFFFFFFFF on failure.
    virtual std::uint32_t SetThreadIdealProcessor(KHandle thread, std::uint32_t processor) = 0;
    // SetThreadIdealProcessorEx found by GetProcAddress in "kernel32.dll";
    // previous may be null. False when the call fails.
    virtual bool CallSetThreadIdealProcessorEx(ProcAddress entry, KHandle thread, ProcessorNumber ideal,
                                               ProcessorNumber* previous) = 0;
    // GetThreadGroupAffinity found by GetProcAddress in "kernel32.dll": the
    // thread's group. False when the call fails.
    virtual bool CallGetThreadGroupAffinity(ProcAddress entry, KHandle thread, std::uint16_t* group) = 0;
    // GetProcessDefaultCpuSets found by GetProcAddress in "kernel32.dll": the
    // ids of the process's default CPU set (none: empty). False when it fails.
    virtual bool CallGetProcessDefaultCpuSets(ProcAddress entry, KHandle process, std::vector<std::uint32_t>* ids) = 0;
    // SetProcessDefaultCpuSets found the same way; no ids clear the set.
    // Returns 0, or the error GetLastError gives.
    virtual std::uint32_t CallSetProcessDefaultCpuSets(ProcAddress entry, KHandle process,
                                                       const std::vector<std::uint32_t>& ids) = 0;
    // GetProcessAffinityMask: the process's processors and the system's, in
    // the process's group. False when it fails.
    virtual bool GetProcessAffinityMask(KHandle process, std::uint64_t* processMask, std::uint64_t* systemMask) = 0;
    // GetLastError, right after OpenProcess failed: why it did.
    virtual std::uint32_t GetLastError() = 0;
    // INVALID_HANDLE_VALUE is reported as 0.
    virtual KHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) = 0;
    virtual bool Thread32First(KHandle snapshot, ThreadEntry32* entry) = 0;
    virtual bool Thread32Next(KHandle snapshot, ThreadEntry32* entry) = 0;
    // GetModuleFileNameW for the program itself.
    virtual Text GetOwnModuleFileName() = 0;
    // The Terminal Services session a process runs in; false on failure.
    virtual bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) = 0;
};

inline void CloseProcessHandle(IProcesses& api, KHandle handle) { api.CloseHandle(handle); }
using OwnedHandle = Owned<IProcesses, CloseProcessHandle>;

}  // namespace kx
