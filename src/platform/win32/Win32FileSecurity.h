// The security of files and folders: each call forwards to Windows.
#pragma once

#include "platform/SecurityApi.h"

namespace kx {

class Win32FileSecurity : public IFileSecurity {
public:
    KHandle OpenObject(const Text& path, std::uint32_t access, std::uint32_t shareMode) override;
    bool GetFileInformationByHandle(KHandle object, FileIdentity* identity) override;
    bool GetSecurityInfo(KHandle object, ObjectSecurity* security) override;
    bool SetKernelObjectSecurity(KHandle object, const ObjectSecurity& security) override;
    bool CreateDirectoryW(const Text& path, const ObjectSecurity* security) override;
    bool ListFolder(const Text& path, std::vector<Text>* names) override;
    bool DeleteFileW(const Text& path) override;
    bool RemoveDirectoryW(const Text& path) override;
    bool MoveObject(KHandle object, const Text& newPath) override;
    bool CopyFileW(const Text& existing, const Text& newPath) override;
    bool CloseHandle(KHandle object) override;
    long GetLastError() override { return lastError_; }

private:
    bool Done(bool ok);
    long lastError_ = 0;
};

// The SID of the account this process runs as, in text form; empty on failure.
Text CurrentUserSid();
// The owner the files and folders this process makes get (TokenOwner), in text form; empty on failure.
Text CurrentDefaultOwnerSid();

}  // namespace kx
