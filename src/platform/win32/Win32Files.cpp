#include "platform/win32/Win32Files.h"

#include "platform/win32/Win32Handles.h"

namespace kx {

KHandle Win32Files::CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition) {
    HANDLE file =
        ::CreateFileW(win32::Wide(path), access, shareMode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool Win32Files::GetFileAttributesExW(const Text& path, FileAttributeData* data) {
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (data == nullptr || !::GetFileAttributesExW(win32::Wide(path), GetFileExInfoStandard, &found)) return false;
    data->attributes = found.dwFileAttributes;
    data->size = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    data->lastWriteTime = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime);
    return true;
}

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

}  // namespace kx
