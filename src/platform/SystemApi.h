// kernel32 system information, code pages, drives, files and resources, and
// ntdll's system query, as the program calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Owned.h"
#include "platform/SecurityApi.h"
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

namespace w32 {
// SYSTEM_BASIC_INFORMATION holds three pointer-sized fields before its
// one-byte processor count, so its layout is the calling process's own: 44
// bytes with the count at offset 40 in a 32-bit process, 64 bytes with the
// count at offset 56 in a 64-bit one. The system refuses any other length.
constexpr std::uint32_t kSystemBasicInformationLength = sizeof(void*) == 8 ? 64 : 44;
constexpr std::uint32_t kSystemBasicNumberOfProcessorsOffset = sizeof(void*) == 8 ? 56 : 40;
}  // namespace w32

// SYSTEM_CPU_SET_INFORMATION, the fields the program uses: where the CPU
// set's processor lies and how fast and power-hungry it is (a higher
// efficiency class is faster and less efficient).
struct CpuSetInfo {
    std::uint16_t group = 0;
    std::uint8_t logicalProcessorIndex = 0;
    std::uint8_t efficiencyClass = 0;
    std::uint32_t id = 0;  // what SetProcessDefaultCpuSets names it by
    std::uint8_t flags = 0;  // kCpuSetParked, kCpuSetAllocated, ...
};

namespace w32 {
// SYSTEM_CPU_SET_INFORMATION's flags: the processor is parked (the power
// manager keeps it idle), or allocated to some process for its sole use.
constexpr std::uint8_t kCpuSetParked = 0x1;
constexpr std::uint8_t kCpuSetAllocated = 0x2;
}  // namespace w32

// A processor group and a mask of its processors (GROUP_AFFINITY).
struct GroupMask {
    std::uint16_t group = 0;
    std::uint64_t mask = 0;
};

// One cache as GetLogicalProcessorInformationEx(RelationCache) describes it.
struct CacheInfo {
    std::uint8_t level = 0;      // 1, 2, 3 ...
    std::uint8_t type = 0;       // 0 unified, 1 instruction, 2 data, 3 trace
    std::uint64_t size = 0;      // bytes
    std::vector<GroupMask> processors;  // the processors that share it
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
    // NtQuerySystemInformationEx found by GetProcAddress in "ntdll.dll" (the
    // input names, for the processor classes, the group asked).
    virtual long CallNtQuerySystemInformationEx(ProcAddress entry, std::uint32_t infoClass, const void* input,
                                                std::uint32_t inputLength, void* buffer, std::uint32_t length,
                                                std::uint32_t* returnLength) = 0;
    // GetSystemCpuSetInformation found by GetProcAddress in "kernel32.dll":
    // every CPU set of the system, in the order reported. False when it fails.
    virtual bool CallGetSystemCpuSetInformation(ProcAddress entry, std::vector<CpuSetInfo>* sets) = 0;
    // GetLogicalProcessorInformationEx(RelationCache) found by GetProcAddress
    // in "kernel32.dll": every cache of the system. False when it fails.
    virtual bool CallGetProcessorCaches(ProcAddress entry, std::vector<CacheInfo>* caches) = 0;
    // The program's RT_RCDATA resource of that name (matched without regard to
    // case, as FindResourceW does); false when there is none.
    virtual bool LoadRcDataResource(const Text& name, std::vector<std::uint8_t>* bytes) = 0;
    // RtlGenRandom (advapi32's SystemFunction036): length bytes from the
    // system's random number generator. False when it fails.
    virtual bool GenerateRandom(void* buffer, std::uint32_t length) = 0;
};

// WIN32_FILE_ATTRIBUTE_DATA, the fields the program uses.
struct FileAttributeData {
    std::uint32_t attributes = 0;
    std::int64_t lastWriteTime = 0;  // FILETIME, 100 ns since 1601 (UTC)
    std::int64_t size = 0;

    friend bool operator==(const FileAttributeData& a, const FileAttributeData& b) {
        return a.attributes == b.attributes && a.size == b.size && a.lastWriteTime == b.lastWriteTime;
    }
    friend bool operator!=(const FileAttributeData& a, const FileAttributeData& b) { return !(a == b); }
};

namespace w32 {
// (kErrorFileNotFound and kErrorAccessDenied are in platform/Types.h.)
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorLockViolation = 33;
// ReplaceFileW: the replaced file could not be deleted; both files keep their names.
constexpr std::uint32_t kErrorUnableToRemoveReplaced = 1175;
// ReplaceFileW: the replacement could not be moved; with a backup named, both files keep their names.
constexpr std::uint32_t kErrorUnableToMoveReplacement = 1176;
// ReplaceFileW: the replaced file is now the backup and the replacement kept
// its own name: nothing is left under the replaced file's name.
constexpr std::uint32_t kErrorUnableToMoveReplacement2 = 1177;
}  // namespace w32

class IFiles {
public:
    virtual ~IFiles() = default;
    // INVALID_HANDLE_VALUE is reported as 0.
    virtual KHandle CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition,
                                std::uint32_t flagsAndAttributes = w32::kFileAttributeNormal) = 0;
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
    // GetFileAttributesExW with GetFileExInfoStandard; false when there is
    // nothing at path (or it cannot be asked).
    virtual bool GetFileAttributesExW(const Text& path, FileAttributeData* data) = 0;
    // ReplaceFileW: replacement takes the place of replaced, which becomes
    // backup (none when backup is empty). Returns 0, or the error
    // GetLastError gives (w32::kError*), which tells how far it got.
    virtual std::uint32_t ReplaceFileW(const Text& replaced, const Text& replacement, const Text& backup,
                                       std::uint32_t flags) = 0;
    // What the editor checks of a file it has just made, through its handle
    // (opened with FILE_READ_ATTRIBUTES and READ_CONTROL):
    // GetFileInformationByHandle, its attributes and number of links;
    virtual bool GetFileInformationByHandle(KHandle file, FileIdentity* identity) = 0;
    // GetSecurityInfo with OWNER_SECURITY_INFORMATION, its owner's SID as text;
    virtual bool GetFileOwner(KHandle file, Text* owner) = 0;
    // and the owners a file this process makes may have, as SID texts: the
    // token's user and its default owner (for an elevated administrator, the
    // Administrators group). Empty when the token cannot be read.
    virtual std::vector<Text> CurrentOwners() = 0;
    // FindFirstFileW and FindNextFileW over pattern (a folder, a backslash
    // and a name with wildcards): the names found, without their folder.
    // False when the folder cannot be listed; no match is an empty list.
    virtual bool FindFiles(const Text& pattern, std::vector<Text>* names) = 0;
};

inline void CloseFileHandle(IFiles& api, KHandle file) { api.CloseHandle(file); }
using OwnedFile = Owned<IFiles, CloseFileHandle>;

}  // namespace kx
