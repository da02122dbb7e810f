// kernel32's files: each call forwards to Windows.
#pragma once

#include "platform/SystemApi.h"

namespace kx {

class Win32Files : public IFiles {
public:
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
    bool FindFiles(const Text& pattern, std::vector<Text>* names) override;
};

}  // namespace kx
