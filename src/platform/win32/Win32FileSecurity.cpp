#include "platform/win32/Win32FileSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/SecurityDescriptor.h"
#include "platform/win32/Win32Handles.h"

namespace kx {

namespace {

struct LocalDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalDeleter>;

Text SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return Text();
    LocalMemory owned(text);
    return Text(reinterpret_cast<const char16_t*>(text));
}

LocalMemory SidFromText(const Text& text) {
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(win32::Wide(text), &sid)) return nullptr;
    return LocalMemory(sid);
}

// A self-contained security descriptor: the SIDs and the ACL it points to.
class Descriptor {
public:
    bool Build(const ObjectSecurity& security) {
        if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;
        if (!security.owner.empty()) {
            owner_ = SidFromText(security.owner);
            if (!owner_ || !::SetSecurityDescriptorOwner(&descriptor_, owner_.get(), FALSE)) return false;
        }
        if (!security.hasDacl) return ::SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE) != FALSE;
        DWORD size = static_cast<DWORD>(sizeof(ACL));
        for (const AccessEntry& entry : security.dacl) {
            sids_.push_back(SidFromText(entry.sid));
            if (!sids_.back()) return false;
            size += static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(sids_.back().get());
        }
        acl_.assign((size + 3) & ~3u, 0);
        auto* acl = reinterpret_cast<PACL>(acl_.data());
        if (!::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION)) return false;
        for (std::size_t i = 0; i < security.dacl.size(); ++i) {
            const AccessEntry& entry = security.dacl[i];
            const BOOL added =
                entry.type == w32::kAccessDeniedAceType
                    ? ::AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sids_[i].get())
                    : ::AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sids_[i].get());
            if (!added) return false;
        }
        if (!::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return false;
        if (security.daclProtected &&
            !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            return false;
        }
        return true;
    }
    PSECURITY_DESCRIPTOR get() { return &descriptor_; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
    LocalMemory owner_;
    std::vector<LocalMemory> sids_;
    std::vector<BYTE> acl_;
};

}  // namespace

bool Win32FileSecurity::Done(bool ok) {
    lastError_ = ok ? 0 : static_cast<long>(::GetLastError());
    return ok;
}

KHandle Win32FileSecurity::OpenObject(const Text& path, std::uint32_t access, std::uint32_t shareMode) {
    HANDLE object = ::CreateFileW(win32::Wide(path), access, shareMode, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (!Done(object != INVALID_HANDLE_VALUE)) return 0;
    return win32::ToKHandle(object);
}

bool Win32FileSecurity::GetFileInformationByHandle(KHandle object, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Done(::GetFileInformationByHandle(win32::FromKHandle<HANDLE>(object), &info) != FALSE)) return false;
    if (identity != nullptr) {
        identity->attributes = info.dwFileAttributes;
        identity->numberOfLinks = info.nNumberOfLinks;
    }
    return true;
}

bool Win32FileSecurity::GetSecurityInfo(KHandle object, ObjectSecurity* security) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetSecurityInfo(win32::FromKHandle<HANDLE>(object), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                           nullptr, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        lastError_ = static_cast<long>(status);
        return false;
    }
    LocalMemory owned(descriptor);
    // The descriptor GetSecurityInfo returns is self-relative: read whole,
    // every kind of entry included, by the same reader the tests prove.
    const DWORD length = ::GetSecurityDescriptorLength(descriptor);
    ObjectSecurity read;
    if (!ReadSecurityDescriptor(static_cast<const std::uint8_t*>(descriptor), length, &read)) {
        lastError_ = ERROR_INVALID_SECURITY_DESCR;
        return false;
    }
    if (security != nullptr) *security = std::move(read);
    lastError_ = 0;
    return true;
}

bool Win32FileSecurity::SetKernelObjectSecurity(KHandle object, const ObjectSecurity& security) {
    Descriptor descriptor;
    if (!Done(descriptor.Build(security))) return false;
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (security.daclProtected) what |= PROTECTED_DACL_SECURITY_INFORMATION;
    if (!security.owner.empty()) what |= OWNER_SECURITY_INFORMATION;
    // The kernel call, not SetSecurityInfo: nothing is propagated to children.
    return Done(::SetKernelObjectSecurity(win32::FromKHandle<HANDLE>(object), what, descriptor.get()) != FALSE);
}

bool Win32FileSecurity::CreateDirectoryW(const Text& path, const ObjectSecurity* security) {
    if (security == nullptr) return Done(::CreateDirectoryW(win32::Wide(path), nullptr) != FALSE);
    Descriptor descriptor;
    if (!Done(descriptor.Build(*security))) return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    return Done(::CreateDirectoryW(win32::Wide(path), &attributes) != FALSE);
}

bool Win32FileSecurity::ListFolder(const Text& path, std::vector<Text>* names) {
    if (names == nullptr) return false;
    names->clear();
    WIN32_FIND_DATAW found{};
    const Text pattern = path + u"\\*";
    HANDLE search = ::FindFirstFileW(win32::Wide(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) return Done(::GetLastError() == ERROR_FILE_NOT_FOUND);
    do {
        const Text name(reinterpret_cast<const char16_t*>(found.cFileName));
        if (name != u"." && name != u"..") names->push_back(name);
    } while (::FindNextFileW(search, &found));
    const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    return Done(complete);
}

bool Win32FileSecurity::DeleteFileW(const Text& path) { return Done(::DeleteFileW(win32::Wide(path)) != FALSE); }

bool Win32FileSecurity::RemoveDirectoryW(const Text& path) {
    return Done(::RemoveDirectoryW(win32::Wide(path)) != FALSE);
}

bool Win32FileSecurity::MoveObject(KHandle object, const Text& newPath) {
    const std::size_t nameBytes = newPath.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, newPath.data(), nameBytes);
    return Done(::SetFileInformationByHandle(win32::FromKHandle<HANDLE>(object), FileRenameInfo, rename,
                                             static_cast<DWORD>(buffer.size())) != FALSE);
}

bool Win32FileSecurity::CopyFileW(const Text& existing, const Text& newPath) {
    return Done(::CopyFileW(win32::Wide(existing), win32::Wide(newPath), TRUE) != FALSE);
}

bool Win32FileSecurity::CloseHandle(KHandle object) {
    return Done(::CloseHandle(win32::FromKHandle<HANDLE>(object)) != FALSE);
}

namespace {

// The SID a token information class begins with (TOKEN_USER and TOKEN_OWNER
// both hold it first), in text form; empty on failure.
Text CurrentTokenSid(TOKEN_INFORMATION_CLASS what) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return Text();
    Text sid;
    DWORD size = 0;
    ::GetTokenInformation(token, what, nullptr, 0, &size);
    std::vector<BYTE> buffer(size == 0 ? 1 : size);
    if (::GetTokenInformation(token, what, buffer.data(), size, &size)) {
        sid = SidText(*reinterpret_cast<PSID*>(buffer.data()));
    }
    ::CloseHandle(token);
    return sid;
}

}  // namespace

Text CurrentUserSid() { return CurrentTokenSid(TokenUser); }

Text CurrentDefaultOwnerSid() { return CurrentTokenSid(TokenOwner); }

}  // namespace kx
