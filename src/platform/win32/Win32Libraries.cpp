#include "platform/win32/Win32Libraries.h"

#include "platform/AsciiCase.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32SystemLibrary.h"

namespace kx {

using win32::FromKHandle;
using win32::ToKHandle;
using win32::Wide;

namespace {

bool IsBareFileName(const Text& name) {
    if (name.empty()) return false;
    for (const char16_t c : name) {
        if (c == u'\\' || c == u'/' || c == u':' || c == 0) return false;
    }
    return name != u"." && name != u"..";
}

}  // namespace

namespace win32 {

HMODULE LoadFromSystemFolder(const wchar_t* name) {
    // The LOAD_LIBRARY_SEARCH_* flags exist where AddDllDirectory does
    // (Windows 8, and Vista/7 with KB2533623).
    static const bool searchFlagsSupported = [] {
        HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        return kernel != nullptr && ::GetProcAddress(kernel, "AddDllDirectory") != nullptr;
    }();
    if (searchFlagsSupported) {
        HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    }
    // Without the search flags: the full path in the system folder, and the
    // library's own dependencies looked up from there as well.
    wchar_t folder[MAX_PATH + 1];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    path += name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace win32

Win32Libraries::~Win32Libraries() {
    for (const auto& entry : pinned_) ::FreeLibrary(FromKHandle<HMODULE>(entry.second));
}

KHandle Win32Libraries::LoadLibraryW(const Text& name) {
    if (!IsBareFileName(name)) return 0;
    const Text key = AsciiUpper(name);
    auto found = pinned_.find(key);
    if (found == pinned_.end()) {
        const KHandle pin = ToKHandle(win32::LoadFromSystemFolder(Wide(name)));
        if (pin == 0) return 0;
        found = pinned_.emplace(key, pin).first;
    }
    // One more reference to the pinned module, found by its address: no
    // search, and always the very library that was loaded from the system folder.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(FromKHandle<HMODULE>(found->second)), &module)) {
        return 0;
    }
    return ToKHandle(module);
}

ProcAddress Win32Libraries::GetProcAddress(KHandle library, const char* procName) {
    if (library == 0 || procName == nullptr) return 0;
    const FARPROC entry = ::GetProcAddress(FromKHandle<HMODULE>(library), procName);
    return static_cast<ProcAddress>(reinterpret_cast<std::uintptr_t>(entry));
}

bool Win32Libraries::FreeLibrary(KHandle library) {
    if (library == 0) return false;
    return ::FreeLibrary(FromKHandle<HMODULE>(library)) != FALSE;
}

}  // namespace kx
