// The simulated file system's security, for the installer's helper: every
// object (folder or file) by upper-cased path, with what a planted link, a
// hard link or a foreign owner looks like to a caller that never follows.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "platform/SecurityApi.h"
#include "sim/SimWorld.h"

namespace kx::sim {

struct SimSecuredObject {
    bool directory = true;
    bool reparsePoint = false;
    std::uint32_t links = 1;
    ObjectSecurity security;
    bool refuseSecurity = false;  // SetKernelObjectSecurity fails on it
    bool refuseMove = false;      // MoveObject fails on it (a file inside is in use)
};

class SimFileSecurity : public IFileSecurity {
public:
    explicit SimFileSecurity(SimWorld& world) : world_(world) {}

    // The objects, by upper-cased path without a trailing backslash (but "C:\").
    std::map<Text, SimSecuredObject> objects;
    // The owner a folder made without a descriptor gets, and its DACL (inherited).
    Text defaultOwner = kSidAdministrators;
    // Each SetKernelObjectSecurity that took, by upper-cased path, in order.
    std::vector<Text> securedPaths;
    std::vector<Text> createdFolders;
    std::vector<Text> deletedPaths;
    // Each MoveObject that took, from and to (upper-cased).
    std::vector<std::pair<Text, Text>> moves;
    // Each CopyFileW that took, and whether every folder above the new file
    // was held open, without sharing deletion, while it was written.
    struct Copy {
        Text from;
        Text to;
        bool chainHeld;
    };
    std::vector<Copy> copies;

    // Helpers for tests.
    SimSecuredObject& Folder(const Text& path, const Text& owner = kSidAdministrators);
    SimSecuredObject& File(const Text& path, const Text& owner = kSidAdministrators);
    SimSecuredObject* Find(const Text& path);

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
    struct OpenObjectEntry {
        Text path;
        std::uint32_t access;
        std::uint32_t shareMode;
        bool open;
    };
    const OpenObjectEntry* Entry(KHandle object) const;
    bool Held(const Text& upperPath) const;

    SimWorld& world_;
    std::vector<OpenObjectEntry> open_;
    long lastError_ = 0;
};

}  // namespace kx::sim
