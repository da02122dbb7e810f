#pragma once
#include "sim/SimWorld.h"

namespace kx::sim {

class SimProcesses : public IProcesses {
public:
    explicit SimProcesses(SimWorld& world) : world_(world) {}
    KHandle OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t processId) override;
    bool CloseHandle(KHandle handle) override;
    std::uint32_t GetCurrentProcessId() override;
    bool SetPriorityClass(KHandle process, std::uint32_t priorityClass) override;
    std::uint32_t GetPriorityClass(KHandle process) override;
    bool GetProcessCreationTime(KHandle process, std::int64_t* creationTime) override;
    std::uint32_t GetModuleFileNameExW(KHandle process, char16_t* buffer, std::uint32_t size) override;
    std::uint32_t CallGetProcessImageFileNameW(ProcAddress entry, KHandle process, char16_t* buffer,
                                               std::uint32_t size) override;
    KHandle CallOpenThread(ProcAddress entry, std::uint32_t access, bool inheritHandle,
                           std::uint32_t threadId) override;
    std::uint32_t SetThreadIdealProcessor(KHandle thread, std::uint32_t processor) override;
    bool CallSetThreadIdealProcessorEx(ProcAddress entry, KHandle thread, ProcessorNumber ideal,
                                       ProcessorNumber* previous) override;
    bool CallGetThreadGroupAffinity(ProcAddress entry, KHandle thread, std::uint16_t* group) override;
    bool CallGetProcessDefaultCpuSets(ProcAddress entry, KHandle process, std::vector<std::uint32_t>* ids) override;
    std::uint32_t CallSetProcessDefaultCpuSets(ProcAddress entry, KHandle process,
                                               const std::vector<std::uint32_t>& ids) override;
    bool GetProcessAffinityMask(KHandle process, std::uint64_t* processMask, std::uint64_t* systemMask) override;
    std::uint32_t GetLastError() override { return lastError_; }
    KHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override;
    bool Thread32First(KHandle snapshot, ThreadEntry32* entry) override;
    bool Thread32Next(KHandle snapshot, ThreadEntry32* entry) override;
    Text GetOwnModuleFileName() override;
    bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) override;

    // Every OpenProcess request: (pid, access, inherit).
    struct OpenRequest {
        std::uint32_t processId;
        std::uint32_t access;
        bool inherit;
    };
    std::vector<OpenRequest> openRequests;
    std::vector<std::uint32_t> openThreadAccess;

private:
    struct OpenProcessInfo {
        std::uint32_t processId;
        std::uint32_t access;
        std::uint64_t instance;  // the process the handle refers to, even after its id is reused
    };
    SimProcess* ProcessOf(KHandle handle, std::uint32_t neededAccess);
    SimWorld& world_;
    std::uint32_t lastError_ = 0;
    std::vector<OpenProcessInfo> openProcesses_;
    std::vector<std::vector<ThreadEntry32>> snapshots_;
    std::map<KHandle, std::size_t> snapshotCursor_;
};

}  // namespace kx::sim
