// advapi32's registry, as the program calls it.
#pragma once

#include <cstdint>

#include "platform/Owned.h"
#include "platform/Types.h"

namespace kx {

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Opens root\subKey; *result receives the key. Returns a Win32 status.
    virtual long RegOpenKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) = 0;
    // Opens or creates root\subKey and any missing parent.
    virtual long RegCreateKeyExW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) = 0;
    // The same with REG_OPTION_VOLATILE: a key created so lives until the
    // user's session ends and is never written to disk (an existing key is opened).
    virtual long RegCreateVolatileKeyW(KHandle root, const Text& subKey, std::uint32_t access, KHandle* result) = 0;
    // As the platform: data may be null to ask for the size; *size is in bytes
    // and is updated; kErrorMoreData when the data does not fit.
    virtual long RegQueryValueExW(KHandle key, const Text& valueName, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) = 0;
    virtual long RegSetValueExW(KHandle key, const Text& valueName, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) = 0;
    virtual long RegCloseKey(KHandle key) = 0;
    // For the main program's logon switch; kErrorFileNotFound when there is no such value.
    virtual long RegDeleteValueW(KHandle key, const Text& valueName) = 0;

    // Change notification of a key's values. An auto-reset event, not
    // signalled (CreateEventW); 0 when none can be made.
    virtual KHandle CreateNotifyEvent() = 0;
    // RegNotifyChangeKeyValue(key, no subtree, filter, event, asynchronous):
    // the event is signalled once at the next change. Returns a Win32 status.
    virtual long RegNotifyChangeKeyValue(KHandle key, std::uint32_t filter, KHandle event) = 0;
    // Whether the event is signalled (a wait of no time), which resets it.
    virtual bool NotifyEventSignalled(KHandle event) = 0;
    virtual bool CloseNotifyEvent(KHandle event) = 0;
};

inline void CloseRegKey(IRegistry& api, KHandle key) { api.RegCloseKey(key); }
using OwnedKey = Owned<IRegistry, CloseRegKey>;
inline void CloseNotifyEventHandle(IRegistry& api, KHandle event) { api.CloseNotifyEvent(event); }
using OwnedNotifyEvent = Owned<IRegistry, CloseNotifyEventHandle>;

}  // namespace kx
