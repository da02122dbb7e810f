#pragma once
#include "sim/SimWorld.h"

namespace kx::sim {

class SimSystem : public ISystemInfo {
public:
    explicit SimSystem(SimWorld& world) : world_(world) {}
    bool GetVersionExW(OsVersionInfo* info) override;
    std::uint32_t GetACP() override;
    Text MultiByteToWideChar(std::uint32_t codePage, const std::uint8_t* bytes, std::size_t count) override;
    std::uint32_t GetLogicalDriveStringsW(std::uint32_t bufferLength, char16_t* buffer) override;
    std::uint32_t QueryDosDeviceW(const Text& deviceName, char16_t* buffer, std::uint32_t max) override;
    bool SystemTimeToFileTime(const SystemTime& time, std::int64_t* fileTime) override;
    bool CallGetSystemCpuSetInformation(ProcAddress entry, std::vector<CpuSetInfo>* sets) override;
    bool CallGetProcessorCaches(ProcAddress entry, std::vector<CacheInfo>* caches) override;
    long CallNtQuerySystemInformation(ProcAddress entry, std::uint32_t infoClass, void* buffer, std::uint32_t length,
                                      std::uint32_t* returnLength) override;
    long CallNtQuerySystemInformationEx(ProcAddress entry, std::uint32_t infoClass, const void* input,
                                        std::uint32_t inputLength, void* buffer, std::uint32_t length,
                                        std::uint32_t* returnLength) override;
    bool LoadRcDataResource(const Text& name, std::vector<std::uint8_t>* bytes) override;
    bool GenerateRandom(void* buffer, std::uint32_t length) override;

    std::vector<std::uint32_t> versionRecordSizes;  // dwOSVersionInfoSize of every call

private:
    static constexpr std::uint32_t kProcessorPerformanceClass = 8;
    static long ProcessorRecords(const std::vector<std::uint8_t>& records, void* buffer, std::uint32_t length,
                                 std::uint32_t* returnLength);
    SimWorld& world_;
};

class SimFiles : public IFiles {
public:
    explicit SimFiles(SimWorld& world) : world_(world) {}
    KHandle CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                        std::uint32_t disposition,
                        std::uint32_t flagsAndAttributes = w32::kFileAttributeNormal) override;
    bool GetFileSizeEx(KHandle file, std::int64_t* size) override;
    bool ReadFile(KHandle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override;
    bool CloseHandle(KHandle file) override;
    bool WriteFile(KHandle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override;
    bool FlushFileBuffers(KHandle file) override;
    bool MoveFileExW(const Text& from, const Text& to, std::uint32_t flags) override;
    bool DeleteFileW(const Text& path) override;
    bool CreateDirectoryW(const Text& path) override;
    std::uint32_t GetFileAttributesW(const Text& path) override;
    bool GetFileAttributesExW(const Text& path, FileAttributeData* data) override;
    std::uint32_t ReplaceFileW(const Text& replaced, const Text& replacement, const Text& backup,
                               std::uint32_t flags) override;
    bool GetFileInformationByHandle(KHandle file, FileIdentity* identity) override;
    bool GetFileOwner(KHandle file, Text* owner) override;
    std::vector<Text> CurrentOwners() override;
    // Patterns of the form "folder\prefix*suffix" (one wildcard at most).
    bool FindFiles(const Text& pattern, std::vector<Text>* names) override;

private:
    const SimFile* OpenedFile(KHandle file);
    // False once the world's crash has come: the change is not made.
    bool Change();
    struct OpenFile {
        Text path;
        std::size_t position;
    };
    SimWorld& world_;
    std::vector<OpenFile> open_;
};

}  // namespace kx::sim
