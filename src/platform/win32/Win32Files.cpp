#include "platform/win32/Win32Files.h"

#include "platform/win32/Win32FileSecurity.h"
#include "platform/win32/Win32Handles.h"

namespace kx {

KHandle Win32Files::CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition, std::uint32_t flagsAndAttributes) {
    HANDLE file =
        ::CreateFileW(win32::Wide(path), access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : win32::ToKHandle(file);
}

bool Win32Files::GetFileSizeEx(KHandle file, std::int64_t* size) {
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(win32::FromKHandle<HANDLE>(file), &value)) return false;
    if (size != nullptr) *size = value.QuadPart;
    return true;
}

bool Win32Files::ReadFile(KHandle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    DWORD done = 0;
    const BOOL ok = ::ReadFile(win32::FromKHandle<HANDLE>(file), buffer, toRead, &done, nullptr);
    if (read != nullptr) *read = done;
    return ok != FALSE;
}

bool Win32Files::CloseHandle(KHandle file) { return ::CloseHandle(win32::FromKHandle<HANDLE>(file)) != FALSE; }

bool Win32Files::WriteFile(KHandle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(win32::FromKHandle<HANDLE>(file), buffer, toWrite, &done, nullptr);
    if (written != nullptr) *written = done;
    return ok != FALSE;
}

bool Win32Files::FlushFileBuffers(KHandle file) { return ::FlushFileBuffers(win32::FromKHandle<HANDLE>(file)) != FALSE; }

bool Win32Files::MoveFileExW(const Text& from, const Text& to, std::uint32_t flags) {
    return ::MoveFileExW(win32::Wide(from), win32::Wide(to), flags) != FALSE;
}

bool Win32Files::DeleteFileW(const Text& path) { return ::DeleteFileW(win32::Wide(path)) != FALSE; }

bool Win32Files::CreateDirectoryW(const Text& path) { return ::CreateDirectoryW(win32::Wide(path), nullptr) != FALSE; }

std::uint32_t Win32Files::GetFileAttributesW(const Text& path) { return ::GetFileAttributesW(win32::Wide(path)); }

bool Win32Files::GetFileAttributesExW(const Text& path, FileAttributeData* data) {
    WIN32_FILE_ATTRIBUTE_DATA found = {};
    if (!::GetFileAttributesExW(win32::Wide(path), GetFileExInfoStandard, &found)) return false;
    if (data != nullptr) {
        data->attributes = found.dwFileAttributes;
        data->lastWriteTime = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                                        found.ftLastWriteTime.dwLowDateTime);
        data->size = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    }
    return true;
}

std::uint32_t Win32Files::ReplaceFileW(const Text& replaced, const Text& replacement, const Text& backup,
                                       std::uint32_t flags) {
    if (::ReplaceFileW(win32::Wide(replaced), win32::Wide(replacement), backup.empty() ? nullptr : win32::Wide(backup),
                       flags, nullptr, nullptr)) {
        return 0;
    }
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

bool Win32Files::GetFileInformationByHandle(KHandle file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(win32::FromKHandle<HANDLE>(file), &info)) return false;
    if (identity != nullptr) {
        identity->attributes = info.dwFileAttributes;
        identity->numberOfLinks = info.nNumberOfLinks;
    }
    return true;
}

bool Win32Files::GetFileOwner(KHandle file, Text* owner) {
    ObjectSecurity security;
    if (!Win32FileSecurity().GetSecurityInfo(file, &security) || security.owner.empty()) return false;
    if (owner != nullptr) *owner = security.owner;
    return true;
}

std::vector<Text> Win32Files::CurrentOwners() {
    std::vector<Text> owners;
    for (const Text& sid : {CurrentUserSid(), CurrentDefaultOwnerSid()}) {
        if (!sid.empty()) owners.push_back(sid);
    }
    return owners;
}

bool Win32Files::FindFiles(const Text& pattern, std::vector<Text>* names) {
    if (names == nullptr) return false;
    names->clear();
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(win32::Wide(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        names->push_back(Text(reinterpret_cast<const char16_t*>(found.cFileName)));
    } while (::FindNextFileW(search, &found));
    const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    return complete;
}

}  // namespace kx
