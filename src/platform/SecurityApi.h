// advapi32's and kernel32's security of files and folders, as the elevated
// installer's helper calls them: opening an object without following a link
// planted at its path, reading its identity, owner and DACL, and writing a
// protected DACL through the opened handle only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

namespace w32 {
// Standard and file rights.
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kReadControl = 0x20000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kSynchronize = 0x100000;
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kFileListDirectory = 0x1;
constexpr std::uint32_t kFileWriteData = 0x2;  // FILE_ADD_FILE on a folder
constexpr std::uint32_t kFileAppendData = 0x4; // FILE_ADD_SUBDIRECTORY on a folder
constexpr std::uint32_t kFileReadEa = 0x8;
constexpr std::uint32_t kFileWriteEa = 0x10;
constexpr std::uint32_t kFileTraverse = 0x20;
constexpr std::uint32_t kFileDeleteChild = 0x40;
constexpr std::uint32_t kFileReadAttributes = 0x80;
constexpr std::uint32_t kFileWriteAttributes = 0x100;
constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
constexpr std::uint32_t kFileShareWrite = 2;
constexpr std::uint32_t kFileShareDelete = 4;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
constexpr long kErrorPathNotFound = 3;
// Registry rights.
constexpr std::uint32_t kKeyQueryValue = 0x1;
constexpr std::uint32_t kKeySetValue = 0x2;
constexpr std::uint32_t kKeyCreateSubKey = 0x4;
// ACE types and flags.
constexpr std::uint8_t kAccessAllowedAceType = 0;
constexpr std::uint8_t kAccessDeniedAceType = 1;
constexpr std::uint8_t kAccessAllowedObjectAceType = 5;
constexpr std::uint8_t kAccessDeniedObjectAceType = 6;
constexpr std::uint8_t kAccessAllowedCallbackAceType = 9;  // a conditional entry
constexpr std::uint8_t kAccessDeniedCallbackAceType = 10;
constexpr std::uint8_t kAccessAllowedCallbackObjectAceType = 11;
constexpr std::uint8_t kAccessDeniedCallbackObjectAceType = 12;
constexpr std::uint8_t kObjectInheritAce = 0x1;
constexpr std::uint8_t kContainerInheritAce = 0x2;
constexpr std::uint8_t kInheritOnlyAce = 0x8;
constexpr std::uint8_t kInheritedAce = 0x10;
}  // namespace w32

// Well-known SIDs in their text form (ConvertSidToStringSidW).
constexpr char16_t kSidEveryone[] = u"S-1-1-0";
constexpr char16_t kSidCreatorOwner[] = u"S-1-3-0";
constexpr char16_t kSidInteractive[] = u"S-1-5-4";
constexpr char16_t kSidAuthenticatedUsers[] = u"S-1-5-11";
constexpr char16_t kSidLocalSystem[] = u"S-1-5-18";
constexpr char16_t kSidAdministrators[] = u"S-1-5-32-544";
constexpr char16_t kSidUsers[] = u"S-1-5-32-545";
constexpr char16_t kSidTrustedInstaller[] = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// One ACE of a DACL. An entry read from a descriptor keeps its type, whatever
// it is; one of a type whose layout is not known has no sid.
struct AccessEntry {
    std::uint8_t type = w32::kAccessAllowedAceType;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    Text sid;
    bool operator==(const AccessEntry& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};

// The owner and DACL of an object. hasDacl false is a NULL DACL (everyone
// may do everything); an empty owner in a write leaves the owner as it is.
struct ObjectSecurity {
    Text owner;
    bool hasDacl = true;
    bool daclProtected = false;
    std::vector<AccessEntry> dacl;
};

// BY_HANDLE_FILE_INFORMATION, the fields the helper uses.
struct FileIdentity {
    std::uint32_t attributes = 0;
    std::uint32_t numberOfLinks = 0;
};

class IFileSecurity {
public:
    virtual ~IFileSecurity() = default;
    // CreateFileW(path, access, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS
    // | FILE_FLAG_OPEN_REPARSE_POINT): the file or folder at path itself, never
    // what a link there points to. 0 when it cannot be opened.
    virtual KHandle OpenObject(const Text& path, std::uint32_t access, std::uint32_t shareMode) = 0;
    virtual bool GetFileInformationByHandle(KHandle object, FileIdentity* identity) = 0;
    // GetSecurityInfo for the owner and the DACL.
    virtual bool GetSecurityInfo(KHandle object, ObjectSecurity* security) = 0;
    // SetKernelObjectSecurity with the owner (unless empty) and the DACL,
    // protected: it changes this object only, never what lies inside it.
    virtual bool SetKernelObjectSecurity(KHandle object, const ObjectSecurity& security) = 0;
    // CreateDirectoryW with a descriptor of that owner and protected DACL;
    // with security null, the folder inherits from its parent.
    virtual bool CreateDirectoryW(const Text& path, const ObjectSecurity* security) = 0;
    // The names in a folder (FindFirstFileW over path + "\\*"), without "."
    // and ".."; false when it cannot be listed.
    virtual bool ListFolder(const Text& path, std::vector<Text>* names) = 0;
    virtual bool DeleteFileW(const Text& path) = 0;
    virtual bool RemoveDirectoryW(const Text& path) = 0;
    // SetFileInformationByHandle(FileRenameInfo), never replacing: the object
    // opened (with DELETE) takes the full path newPath; the handle stays its.
    virtual bool MoveObject(KHandle object, const Text& newPath) = 0;
    // CopyFileW(existing, newPath, TRUE): a new file that takes the rights it
    // inherits where it is made; fails when anything is at newPath.
    virtual bool CopyFileW(const Text& existing, const Text& newPath) = 0;
    virtual bool CloseHandle(KHandle object) = 0;
    // The error of the last call that failed (ERROR_FILE_NOT_FOUND, ...).
    virtual long GetLastError() = 0;
};

inline void CloseSecuredObject(IFileSecurity& api, KHandle object) { api.CloseHandle(object); }
using OwnedObject = Owned<IFileSecurity, CloseSecuredObject>;

}  // namespace kx
