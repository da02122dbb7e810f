// kernel32's system information, code pages, drives, time conversion and
// resources, and ntdll's system query: each call forwards to Windows.
#pragma once

#include "platform/SystemApi.h"

namespace kx {

class Win32System : public ISystemInfo {
public:
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
};

}  // namespace kx
