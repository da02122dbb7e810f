#include "platform/win32/Win32Registry.h"

#include "platform/win32/Win32Handles.h"

namespace kx {

using win32::FromHkey;
using win32::ToHkey;
using win32::Wide;

long Win32Registry::RegOpenKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExW(ToHkey(root), Wide(subKey), 0, access, &key);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
    return status;
}

long Win32Registry::RegCreateKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    HKEY key = nullptr;
    const LONG status = ::RegCreateKeyExW(ToHkey(root), Wide(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                          nullptr, &key, nullptr);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
    return status;
}

long Win32Registry::RegCreateVolatileKeyW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) {
    HKEY key = nullptr;
    const LONG status = ::RegCreateKeyExW(ToHkey(root), Wide(subKey), 0, nullptr, REG_OPTION_VOLATILE, access, nullptr,
                                          &key, nullptr);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
    return status;
}

long Win32Registry::RegQueryValueExW(KHandle key, const Text& valueName, std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* size) {
    // DWORD is unsigned long on Windows: carry the values through locals of its own type.
    DWORD valueType = REG_NONE;
    DWORD valueSize = size != nullptr ? *size : 0;
    const LONG status = ::RegQueryValueExW(ToHkey(key), Wide(valueName), nullptr, &valueType, data,
                                           size != nullptr ? &valueSize : nullptr);
    if (type != nullptr) *type = valueType;
    if (size != nullptr) *size = valueSize;
    return status;
}

long Win32Registry::RegSetValueExW(KHandle key, const Text& valueName, std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t size) {
    return ::RegSetValueExW(ToHkey(key), Wide(valueName), 0, type, data, size);
}

long Win32Registry::RegDeleteValueW(KHandle key, const Text& valueName) {
    return ::RegDeleteValueW(ToHkey(key), Wide(valueName));
}

long Win32Registry::RegCloseKey(KHandle key) { return ::RegCloseKey(ToHkey(key)); }

KHandle Win32Registry::CreateNotifyEvent() {
    return win32::ToKHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

long Win32Registry::RegNotifyChangeKeyValue(KHandle key, std::uint32_t filter, KHandle event) {
    return ::RegNotifyChangeKeyValue(ToHkey(key), FALSE, filter, win32::FromKHandle<HANDLE>(event), TRUE);
}

bool Win32Registry::NotifyEventSignalled(KHandle event) {
    return event != 0 && ::WaitForSingleObject(win32::FromKHandle<HANDLE>(event), 0) == WAIT_OBJECT_0;
}

bool Win32Registry::CloseNotifyEvent(KHandle event) {
    return event != 0 && ::CloseHandle(win32::FromKHandle<HANDLE>(event)) != FALSE;
}

}  // namespace kx
