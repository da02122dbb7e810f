// The policies an organisation sets for the machine (Group Policy, a
// device-management service): values under the key
// HKEY_LOCAL_MACHINE\Software\Policies\VELMOR\Kestrix, read from the 64-bit view where the policy client
// writes them. A policy value of a settings value's name and type wins over
// the settings value; the store consults this overlay before the settings
// key, at every read, so a policy is re-read as often as the setting it
// stands in for. Nothing here ever writes, and no read ever fails: a missing
// key or value, a value of another type or one past the caps of the settings
// key reads as "no policy".
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "config/WatchedKey.h"
#include "platform/DebugApi.h"
#include "platform/RegistryApi.h"
#include "platform/Types.h"

namespace kx {

// REG_MULTI_SZ: a list of texts, each ended by a zero, the list by one more.
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegMultiSz = 7;

// The block-list lines a policy adds after the user's rows.
struct PolicyRows {
    std::vector<Text> lines;  // each a block-list line in the file's syntax
    bool overCap = false;     // past a cap of the file: none of them applies
};

class PolicyOverlay {
public:
    explicit PolicyOverlay(IRegistry& registry, DebugTrace* trace = nullptr);

    // Looks whether the policy key changed since the last look (once a tick,
    // with the settings key): until Windows signals a change, what was read
    // is kept. A key that is missing or cannot be watched is read afresh.
    void Refresh() { key_.Refresh(); }

    // The policy's text for a text or colour settings value; none when no
    // policy sets it (missing, empty, not text, or longer than a settings text may be).
    std::optional<Text> ReadText(const Text& name) const;
    // The policy's REG_DWORD for an integer or switch value (a signed level
    // is stored as its unsigned 32-bit pattern); none when no policy sets it.
    std::optional<std::int32_t> ReadInteger(const Text& name) const;
    // Whether a policy sets this settings value: the main program shows it as
    // the organisation's and lets nobody change it. False for a name no policy may set.
    bool IsSet(const Text& name) const;

    // UpdateCheck: whether the daily update check runs (no policy: it does).
    bool UpdateCheck() const;
    // BlockRows, capped like the block-list file.
    PolicyRows BlockRows() const;

private:
    // One value's type and bytes; false when the key or value is missing or
    // its size is past maxBytes (then tooLarge, when given, is set).
    bool Read(const Text& name, std::uint32_t maxBytes, std::uint32_t* type, std::vector<std::uint8_t>* data,
              bool* tooLarge = nullptr) const;

    mutable WatchedKey key_;
};

}  // namespace kx
