#include "sim/SimProcesses.h"

#include <algorithm>

#include "sim/SimLibraries.h"

namespace kx::sim {

KHandle SimProcesses::OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t processId) {
    openRequests.push_back(OpenRequest{processId, access, inheritHandle});
    auto it = world_.processes.find(processId);
    if (processId == 0 || it == world_.processes.end() || it->second.exited) {
        lastError_ = static_cast<std::uint32_t>(w32::kErrorInvalidParameter);
        return 0;
    }
    if ((access & ~it->second.grantableRights) != 0) {
        lastError_ = static_cast<std::uint32_t>(w32::kErrorAccessDenied);
        return 0;
    }
    openProcesses_.push_back(OpenProcessInfo{processId, access, it->second.instance});
    return world_.handles.Open(HandleKind::Process, openProcesses_.size() - 1);
}

bool SimProcesses::CloseHandle(KHandle handle) {
    if (world_.handles.Find(handle, HandleKind::Process) != nullptr) {
        return world_.handles.Close(handle, HandleKind::Process);
    }
    if (world_.handles.Find(handle, HandleKind::Thread) != nullptr) {
        return world_.handles.Close(handle, HandleKind::Thread);
    }
    if (world_.handles.Find(handle, HandleKind::Snapshot) != nullptr) {
        snapshotCursor_.erase(handle);
        return world_.handles.Close(handle, HandleKind::Snapshot);
    }
    return world_.handles.Close(handle, HandleKind::Process);  // counted as a bad close
}

std::uint32_t SimProcesses::GetCurrentProcessId() { return world_.currentProcessId; }

SimProcess* SimProcesses::ProcessOf(KHandle handle, std::uint32_t neededAccess) {
    const auto* entry = world_.handles.Find(handle, HandleKind::Process);
    if (entry == nullptr) return nullptr;
    const auto& info = openProcesses_[entry->object];
    // PROCESS_QUERY_INFORMATION and PROCESS_SET_INFORMATION imply their limited rights.
    std::uint32_t granted = info.access;
    if ((granted & w32::kProcessQueryInformation) != 0) granted |= w32::kProcessQueryLimitedInformation;
    if ((granted & w32::kProcessSetInformation) != 0) granted |= w32::kProcessSetLimitedInformation;
    if ((granted & neededAccess) != neededAccess) return nullptr;
    auto it = world_.processes.find(info.processId);
    // A handle keeps to the process it was opened for: once that one has
    // ended and another took its id, it reaches neither.
    if (it == world_.processes.end() || it->second.exited || it->second.instance != info.instance) return nullptr;
    return &it->second;
}

bool SimProcesses::SetPriorityClass(KHandle process, std::uint32_t priorityClass) {
    SimProcess* p = ProcessOf(process, w32::kProcessSetInformation);
    if (p == nullptr) return false;
    p->priorityClass =
        priorityClass == w32::kRealtimePriorityClass && !p->realtimeAllowed ? w32::kHighPriorityClass : priorityClass;
    return true;
}

std::uint32_t SimProcesses::GetPriorityClass(KHandle process) {
    SimProcess* p = ProcessOf(process, w32::kProcessQueryLimitedInformation);
    return p == nullptr ? 0 : p->priorityClass;
}

namespace {
std::uint32_t CopyPath(const Text& text, char16_t* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0 || text.empty()) return 0;
    const auto n = std::min(static_cast<std::uint32_t>(text.size()), size - 1);
    std::copy(text.begin(), text.begin() + n, buffer);
    buffer[n] = 0;
    return n;
}
}  // namespace

std::uint32_t SimProcesses::GetModuleFileNameExW(KHandle process, char16_t* buffer, std::uint32_t size) {
    SimProcess* p = ProcessOf(process, w32::kProcessQueryInformation | w32::kProcessVmRead);
    return p == nullptr ? 0 : CopyPath(p->modulePath, buffer, size);
}

std::uint32_t SimProcesses::CallGetProcessImageFileNameW(ProcAddress entry, KHandle process, char16_t* buffer,
                                                         std::uint32_t size) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"PSAPI.DLL", "GetProcessImageFileNameW")) return 0;
    SimProcess* p = ProcessOf(process, w32::kProcessQueryLimitedInformation);
    // As Windows: a path that does not fit with its zero is not copied at all.
    if (p == nullptr || p->imageDevicePath.size() >= size) return 0;
    return CopyPath(p->imageDevicePath, buffer, size);
}

KHandle SimProcesses::CallOpenThread(ProcAddress entry, std::uint32_t access, bool /*inheritHandle*/,
                                     std::uint32_t threadId) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "OpenThread")) return 0;
    openThreadAccess.push_back(access);
    auto it = world_.threads.find(threadId);
    if (threadId == 0 || it == world_.threads.end() || !it->second.openable) return 0;
    return world_.handles.Open(HandleKind::Thread, threadId);
}

std::uint32_t SimProcesses::SetThreadIdealProcessor(KHandle thread, std::uint32_t processor) {
    const auto* entry = world_.handles.Find(thread, HandleKind::Thread);
    if (entry == nullptr) return 0xFFFFFFFFu;
    auto it = world_.threads.find(static_cast<std::uint32_t>(entry->object));
    if (it == world_.threads.end()) return 0xFFFFFFFFu;
    const std::uint32_t previous = it->second.idealProcessor;
    it->second.idealProcessor = processor;
    ++it->second.idealProcessorSets;
    return previous;
}

bool SimProcesses::GetProcessCreationTime(KHandle process, std::int64_t* creationTime) {
    SimProcess* p = ProcessOf(process, w32::kProcessQueryLimitedInformation);
    if (p == nullptr) return false;
    *creationTime = p->creationTime;
    return true;
}

bool SimProcesses::CallSetThreadIdealProcessorEx(ProcAddress entry, KHandle thread, ProcessorNumber ideal,
                                                 ProcessorNumber* previous) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "SetThreadIdealProcessorEx")) return false;
    const auto* handle = world_.handles.Find(thread, HandleKind::Thread);
    if (handle == nullptr) return false;
    auto it = world_.threads.find(static_cast<std::uint32_t>(handle->object));
    if (it == world_.threads.end()) return false;
    if (previous != nullptr) {
        previous->group = it->second.idealGroup;
        previous->number = static_cast<std::uint8_t>(it->second.idealProcessor);
    }
    it->second.idealGroup = ideal.group;
    it->second.idealProcessor = ideal.number;
    ++it->second.idealProcessorExSets;
    return true;
}

bool SimProcesses::CallGetThreadGroupAffinity(ProcAddress entry, KHandle thread, std::uint16_t* group) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "GetThreadGroupAffinity")) return false;
    const auto* handle = world_.handles.Find(thread, HandleKind::Thread);
    if (handle == nullptr) return false;
    auto it = world_.threads.find(static_cast<std::uint32_t>(handle->object));
    if (it == world_.threads.end()) return false;
    *group = it->second.group;
    return true;
}

bool SimProcesses::CallGetProcessDefaultCpuSets(ProcAddress entry, KHandle process, std::vector<std::uint32_t>* ids) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "GetProcessDefaultCpuSets")) return false;
    SimProcess* p = ProcessOf(process, w32::kProcessQueryLimitedInformation);
    if (p == nullptr) return false;
    *ids = p->defaultCpuSets;
    return true;
}

std::uint32_t SimProcesses::CallSetProcessDefaultCpuSets(ProcAddress entry, KHandle process,
                                                         const std::vector<std::uint32_t>& ids) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "SetProcessDefaultCpuSets")) return 127;
    SimProcess* p = ProcessOf(process, w32::kProcessSetLimitedInformation);
    if (p == nullptr) return static_cast<std::uint32_t>(w32::kErrorAccessDenied);
    if (p->cpuSetRefusal != 0) return p->cpuSetRefusal;
    const auto* entryOf = world_.handles.Find(process, HandleKind::Process);
    world_.cpuSetCalls.emplace_back(openProcesses_[entryOf->object].processId, ids);
    p->defaultCpuSets = ids;
    return 0;
}

bool SimProcesses::GetProcessAffinityMask(KHandle process, std::uint64_t* processMask, std::uint64_t* systemMask) {
    SimProcess* p = ProcessOf(process, w32::kProcessQueryLimitedInformation);
    if (p == nullptr) return false;
    *systemMask = world_.systemAffinityMask;
    *processMask = p->affinityMask != 0 ? p->affinityMask : world_.systemAffinityMask;
    return true;
}

KHandle SimProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t /*processId*/) {
    if (world_.snapshotFails || (flags & w32::kTh32csSnapThread) == 0) return 0;
    std::vector<ThreadEntry32> entries;
    for (const auto& [tid, thread] : world_.threads) {
        ThreadEntry32 e;
        e.dwSize = 28;
        e.th32ThreadID = tid;
        e.th32OwnerProcessID = thread.processId;
        entries.push_back(e);
    }
    snapshots_.push_back(std::move(entries));
    KHandle handle = world_.handles.Open(HandleKind::Snapshot, snapshots_.size() - 1);
    snapshotCursor_[handle] = 0;
    return handle;
}

bool SimProcesses::Thread32First(KHandle snapshot, ThreadEntry32* entry) {
    auto it = snapshotCursor_.find(snapshot);
    if (it == snapshotCursor_.end() || entry == nullptr || entry->dwSize < 28) return false;
    it->second = 0;
    return Thread32Next(snapshot, entry);
}

bool SimProcesses::Thread32Next(KHandle snapshot, ThreadEntry32* entry) {
    const auto* handleEntry = world_.handles.Find(snapshot, HandleKind::Snapshot);
    auto it = snapshotCursor_.find(snapshot);
    if (handleEntry == nullptr || it == snapshotCursor_.end() || entry == nullptr) return false;
    const auto& entries = snapshots_[handleEntry->object];
    if (it->second >= entries.size()) return false;
    const std::uint32_t size = entry->dwSize;
    *entry = entries[it->second++];
    entry->dwSize = size;
    return true;
}

Text SimProcesses::GetOwnModuleFileName() { return world_.ownModuleFileName; }

bool SimProcesses::ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) {
    auto it = world_.processes.find(processId);
    if (it != world_.processes.end() && !it->second.exited) {
        *sessionId = it->second.sessionId;
        return true;
    }
    if (processId != world_.currentProcessId) return false;
    *sessionId = world_.currentSessionId;
    return true;
}

}  // namespace kx::sim
