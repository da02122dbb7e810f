#include "platform/win32/Win32System.h"

#include <climits>
#include <cstring>

#include "platform/win32/Win32Handles.h"

#include <winternl.h>

#include <cstddef>

// The seam's layout of the basic system record is the SDK's for this build.
static_assert(kx::w32::kSystemBasicInformationLength == sizeof(SYSTEM_BASIC_INFORMATION),
              "SYSTEM_BASIC_INFORMATION length");
static_assert(kx::w32::kSystemBasicNumberOfProcessorsOffset ==
                  offsetof(SYSTEM_BASIC_INFORMATION, NumberOfProcessors),
              "SYSTEM_BASIC_INFORMATION processor count offset");

namespace kx {

using win32::Wide;

bool Win32System::GetVersionExW(OsVersionInfo* info) {
    if (info == nullptr) return false;
    // The caller chooses the record: 284 bytes (OSVERSIONINFOEXW, with the
    // product type) or 276 (OSVERSIONINFOW). Either fits in the extended one.
    static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW is 284 bytes");
    static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW is 276 bytes");
    OSVERSIONINFOEXW record;
    std::memset(&record, 0, sizeof record);
    record.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&record))) return false;
    info->dwMajorVersion = record.dwMajorVersion;
    info->dwMinorVersion = record.dwMinorVersion;
    info->dwBuildNumber = record.dwBuildNumber;
    info->wProductType = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW) ? record.wProductType : 0;
    return true;
}

std::uint32_t Win32System::GetACP() { return ::GetACP(); }

Text Win32System::MultiByteToWideChar(std::uint32_t codePage, const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0 || count > static_cast<std::size_t>(INT_MAX)) return {};
    const auto* source = reinterpret_cast<const char*>(bytes);
    const int length = static_cast<int>(count);
    const int needed = ::MultiByteToWideChar(codePage, 0, source, length, nullptr, 0);
    if (needed <= 0) return {};
    Text text(static_cast<std::size_t>(needed), u'\0');
    const int written = ::MultiByteToWideChar(codePage, 0, source, length, Wide(&text[0]), needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

std::uint32_t Win32System::GetLogicalDriveStringsW(std::uint32_t bufferLength, char16_t* buffer) {
    return ::GetLogicalDriveStringsW(buffer != nullptr ? bufferLength : 0, Wide(buffer));
}

std::uint32_t Win32System::QueryDosDeviceW(const Text& deviceName, char16_t* buffer, std::uint32_t max) {
    return ::QueryDosDeviceW(Wide(deviceName), Wide(buffer), max);
}

bool Win32System::SystemTimeToFileTime(const SystemTime& time, std::int64_t* fileTime) {
    SYSTEMTIME system;
    system.wYear = time.wYear;
    system.wMonth = time.wMonth;
    system.wDayOfWeek = time.wDayOfWeek;
    system.wDay = time.wDay;
    system.wHour = time.wHour;
    system.wMinute = time.wMinute;
    system.wSecond = time.wSecond;
    system.wMilliseconds = time.wMilliseconds;
    FILETIME file;
    if (!::SystemTimeToFileTime(&system, &file)) return false;
    if (fileTime != nullptr) {
        *fileTime = static_cast<std::int64_t>((static_cast<std::uint64_t>(file.dwHighDateTime) << 32) |
                                              file.dwLowDateTime);
    }
    return true;
}

bool Win32System::CallGetSystemCpuSetInformation(ProcAddress entry, std::vector<CpuSetInfo>* sets) {
    // BOOL WINAPI GetSystemCpuSetInformation(PSYSTEM_CPU_SET_INFORMATION, ULONG, PULONG, HANDLE, ULONG);
    // the record is read by its documented offsets, as the headers for the
    // oldest supported release do not declare it.
    using GetSystemCpuSetInformationProc = BOOL(WINAPI*)(void*, ULONG, PULONG, HANDLE, ULONG);
    if (entry == 0 || sets == nullptr) return false;
    const auto query = reinterpret_cast<GetSystemCpuSetInformationProc>(static_cast<std::uintptr_t>(entry));
    ULONG needed = 0;
    query(nullptr, 0, &needed, nullptr, 0);
    // A system lists a few hundred sets at most; a larger answer is not believed.
    if (needed == 0 || needed > 1024u * 1024u) return false;
    std::vector<unsigned char> buffer(needed);
    ULONG returned = 0;
    if (!query(buffer.data(), needed, &returned, nullptr, 0) || returned > needed) return false;
    constexpr std::size_t kTypeAt = 4, kIdAt = 8, kGroupAt = 12, kIndexAt = 14, kClassAt = 18, kFlagsAt = 19,
                          kLeast = 20;
    sets->clear();
    for (std::size_t at = 0; at + kLeast <= returned;) {
        DWORD size = 0;
        DWORD type = 0;
        std::memcpy(&size, &buffer[at], sizeof(size));
        std::memcpy(&type, &buffer[at + kTypeAt], sizeof(type));
        if (size < kLeast || size > returned - at) break;
        if (type == 0) {  // CpuSetInformation
            CpuSetInfo set;
            std::memcpy(&set.group, &buffer[at + kGroupAt], sizeof(set.group));
            set.logicalProcessorIndex = buffer[at + kIndexAt];
            set.efficiencyClass = buffer[at + kClassAt];
            std::memcpy(&set.id, &buffer[at + kIdAt], sizeof(set.id));
            set.flags = buffer[at + kFlagsAt];
            sets->push_back(set);
        }
        at += size;
    }
    return true;
}

bool Win32System::CallGetProcessorCaches(ProcAddress entry, std::vector<CacheInfo>* caches) {
    // BOOL WINAPI GetLogicalProcessorInformationEx(LOGICAL_PROCESSOR_RELATIONSHIP,
    // PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, PDWORD); read by offsets, as
    // the oldest headers lack the cache record's group count.
    using GetLogicalProcessorInformationExProc = BOOL(WINAPI*)(int, void*, PDWORD);
    constexpr int kRelationCache = 2;
    if (entry == 0 || caches == nullptr) return false;
    const auto query = reinterpret_cast<GetLogicalProcessorInformationExProc>(static_cast<std::uintptr_t>(entry));
    DWORD needed = 0;
    query(kRelationCache, nullptr, &needed);
    if (needed == 0 || needed > 1024u * 1024u) return false;
    std::vector<unsigned char> buffer(needed);
    DWORD returned = needed;
    if (!query(kRelationCache, buffer.data(), &returned) || returned > needed) return false;
    // CACHE_RELATIONSHIP after the record's 8-byte head: Level, Associativity,
    // LineSize, CacheSize, Type, 18 reserved bytes, GroupCount, then the
    // GROUP_AFFINITY records (a pointer-sized mask, the group, 6 reserved bytes).
    constexpr std::size_t kLevelAt = 8, kSizeAt = 12, kCacheTypeAt = 16, kGroupCountAt = 38, kMasksAt = 40;
    constexpr std::size_t kMaskSize = sizeof(KAFFINITY), kAffinitySize = sizeof(KAFFINITY) + 8;
    caches->clear();
    for (std::size_t at = 0; at + kMasksAt <= returned;) {
        DWORD relation = 0;
        DWORD size = 0;
        std::memcpy(&relation, &buffer[at], sizeof(relation));
        std::memcpy(&size, &buffer[at + 4], sizeof(size));
        if (size < kMasksAt || size > returned - at) break;
        if (relation == static_cast<DWORD>(kRelationCache)) {
            CacheInfo cache;
            cache.level = buffer[at + kLevelAt];
            DWORD bytes = 0;
            DWORD type = 0;
            WORD groups = 0;
            std::memcpy(&bytes, &buffer[at + kSizeAt], sizeof(bytes));
            std::memcpy(&type, &buffer[at + kCacheTypeAt], sizeof(type));
            std::memcpy(&groups, &buffer[at + kGroupCountAt], sizeof(groups));
            cache.size = bytes;
            cache.type = static_cast<std::uint8_t>(type);
            // Older releases (and Wine 8) leave the count 0 and give one mask.
            if (groups == 0) groups = 1;
            for (WORD g = 0; g < groups && kMasksAt + (g + 1) * kAffinitySize <= size; ++g) {
                const std::size_t maskAt = at + kMasksAt + g * kAffinitySize;
                KAFFINITY mask = 0;
                WORD group = 0;
                std::memcpy(&mask, &buffer[maskAt], kMaskSize);
                std::memcpy(&group, &buffer[maskAt + kMaskSize], sizeof(group));
                cache.processors.push_back(GroupMask{group, static_cast<std::uint64_t>(mask)});
            }
            caches->push_back(std::move(cache));
        }
        at += size;
    }
    return true;
}

long Win32System::CallNtQuerySystemInformation(ProcAddress entry, std::uint32_t infoClass, void* buffer,
                                               std::uint32_t length, std::uint32_t* returnLength) {
    // NTSTATUS NTAPI NtQuerySystemInformation(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG)
    using NtQuerySystemInformationProc = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    if (entry == 0) return static_cast<long>(0xC0000002L);  // STATUS_NOT_IMPLEMENTED
    const auto query = reinterpret_cast<NtQuerySystemInformationProc>(static_cast<std::uintptr_t>(entry));
    ULONG written = 0;
    const LONG status = query(infoClass, buffer, length, &written);
    if (returnLength != nullptr) *returnLength = written;
    return status;
}

long Win32System::CallNtQuerySystemInformationEx(ProcAddress entry, std::uint32_t infoClass, const void* input,
                                                 std::uint32_t inputLength, void* buffer, std::uint32_t length,
                                                 std::uint32_t* returnLength) {
    // NTSTATUS NTAPI NtQuerySystemInformationEx(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PVOID, ULONG, PULONG)
    using NtQuerySystemInformationExProc = LONG(NTAPI*)(ULONG, PVOID, ULONG, PVOID, ULONG, PULONG);
    if (entry == 0) return static_cast<long>(0xC0000002L);  // STATUS_NOT_IMPLEMENTED
    const auto query = reinterpret_cast<NtQuerySystemInformationExProc>(static_cast<std::uintptr_t>(entry));
    ULONG written = 0;
    const LONG status = query(infoClass, const_cast<void*>(input), inputLength, buffer, length, &written);
    if (returnLength != nullptr) *returnLength = written;
    return status;
}

bool Win32System::LoadRcDataResource(const Text& name, std::vector<std::uint8_t>* bytes) {
    if (bytes == nullptr) return false;
    HRSRC found = ::FindResourceW(nullptr, Wide(name), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) return false;
    // Resources of the program's own image stay mapped for the whole run;
    // LoadResource and LockResource hand out no handle to release.
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const DWORD size = ::SizeofResource(nullptr, found);
    if (loaded == nullptr) return false;
    const void* data = ::LockResource(loaded);
    if (data == nullptr && size != 0) return false;
    const auto* first = static_cast<const std::uint8_t*>(data);
    bytes->assign(first, first + size);
    return true;
}

// RtlGenRandom's exported name; ntsecapi.h would declare it as a macro.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

bool Win32System::GenerateRandom(void* buffer, std::uint32_t length) {
    return SystemFunction036(buffer, length) != FALSE;
}

}  // namespace kx
