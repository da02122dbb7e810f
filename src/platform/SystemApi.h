// kernel32 system information, code pages, drives, files and resources, and
// ntdll's system query, as the program calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

// OSVERSIONINFOEXW, the fields the program uses. dwOSVersionInfoSize is 284
// for the extended record and 276 for the basic one (which has no product type).
struct OsVersionInfo {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint8_t wProductType = 0;
};

// SYSTEM_CPU_SET_INFORMATION, the fields the program uses: where the CPU
// set's processor lies and how fast and power-hungry it is (a higher
// efficiency class is faster and less efficient).
struct CpuSetInfo {
    std::uint16_t group = 0;
    std::uint8_t logicalProcessorIndex = 0;
    std::uint8_t efficiencyClass = 0;
};

class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
    virtual bool GetVersionExW(OsVersionInfo* info) = 0;
    virtual std::uint32_t GetACP() = 0;
    // MultiByteToWideChar over the whole byte run.
    virtual Text MultiByteToWideChar(std::uint32_t codePage, const std::uint8_t* bytes, std::size_t count) = 0;
    // As the platform: returns the length needed or written, 0 on failure.
    virtual std::uint32_t GetLogicalDriveStringsW(std::uint32_t bufferLength, char16_t* buffer) = 0;
    virtual std::uint32_t QueryDosDeviceW(const Text& deviceName, char16_t* buffer, std::uint32_t max) = 0;
    virtual bool SystemTimeToFileTime(const SystemTime& time, std::int64_t* fileTime) = 0;
    // NtQuerySystemInformation found by GetProcAddress in "ntdll.dll".
    virtual long CallNtQuerySystemInformation(ProcAddress entry, std::uint32_t infoClass, void* buffer,
                                              std::uint32_t length, std::uint32_t* returnLength) = 0;
    // GetSystemCpuSetInformation found by GetProcAddress in "kernel32.dll":
    // every CPU set of the system, in the order reported. False when it fails.
    virtual bool CallGetSystemCpuSetInformation(ProcAddress entry, std::vector<CpuSetInfo>* sets) = 0;
    // The program's RT_RCDATA resource of that name (matched without regard to
    // case, as FindResourceW does); false when there is none.
    virtual bool LoadRcDataResource(const Text& name, std::vector<std::uint8_t>* bytes) = 0;
};

class IFiles {
public:
    virtual ~IFiles() = default;
    // INVALID_HANDLE_VALUE is reported as 0.
    virtual KHandle CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition) = 0;
    // Returns false when the size cannot be had.
    virtual bool GetFileSizeEx(KHandle file, std::int64_t* size) = 0;
    virtual bool ReadFile(KHandle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) = 0;
    virtual bool CloseHandle(KHandle file) = 0;
    // Writing, for the main program's block-list editor (KestrixTray itself
    // only reads). Each returns false when the platform call fails.
    virtual bool WriteFile(KHandle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) = 0;
    virtual bool FlushFileBuffers(KHandle file) = 0;
    virtual bool MoveFileExW(const Text& from, const Text& to, std::uint32_t flags) = 0;
    virtual bool DeleteFileW(const Text& path) = 0;
    virtual bool CreateDirectoryW(const Text& path) = 0;
    // INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when there is nothing at path.
    virtual std::uint32_t GetFileAttributesW(const Text& path) = 0;
};

inline void CloseFileHandle(IFiles& api, KHandle file) { api.CloseHandle(file); }
using OwnedFile = Owned<IFiles, CloseFileHandle>;

}  // namespace kx
