// One registry key whose values are read through a change notification: the
// key stays open, and what was read is kept until Windows signals a change
// of the key's values (RegNotifyChangeKeyValue), so a reading that nothing
// changed costs no registry round trip. A key that does not exist is watched
// through the nearest key above it that does (whose subkeys change when it,
// or a key on its way, is created), so that its absence costs nothing
// either. A key that cannot be opened or watched is read afresh at every
// read, as an unwatched key always is.
// Used for the settings key and the theme key; any other key that is read
// as often as the settings (the policy key) can use it as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DebugApi.h"
#include "platform/RegistryApi.h"
#include "platform/Types.h"

namespace kx {

// One value as the registry answered it.
struct KeyValue {
    long status = w32::kErrorFileNotFound;  // kErrorSuccess when the value was read
    std::uint32_t type = w32::kRegNone;
    std::vector<std::uint8_t> data;  // its bytes, when read and no larger than asked
    bool tooLarge = false;           // read, but larger than the reader accepts
};

// A REG_DWORD's number; nothing when the value is missing, of another type
// or size, or could not be read.
std::optional<std::uint32_t> DwordValue(const KeyValue& value);

class WatchedKey {
public:
    // root\path, opened with access (KEY_READ, which includes KEY_NOTIFY, and
    // the view bit where wanted). trace: where a key that cannot be watched
    // leaves its line.
    WatchedKey(IRegistry& registry, KHandle root, Text path, std::uint32_t access, DebugTrace* trace = nullptr,
               std::string traceSource = "settings")
        : registry_(registry),
          root_(root),
          path_(std::move(path)),
          access_(access),
          trace_(trace),
          traceSource_(std::move(traceSource)) {}
    WatchedKey(const WatchedKey&) = delete;
    WatchedKey& operator=(const WatchedKey&) = delete;
    ~WatchedKey() { Unwatch(); }

    // Looks once whether the key changed since the last look; the caller
    // does it once a tick. A change drops every value kept; a key not
    // watched yet (the first call, a key that was missing or refused the
    // notification) is opened and watched again. Never fails.
    void Refresh() noexcept;
    // The value, kept or read now; at most maxBytes of data (a larger value
    // reads tooLarge). Never fails: anything that goes wrong reads as a
    // value that could not be read.
    KeyValue Read(const Text& name, std::uint32_t maxBytes) noexcept;
    // This program wrote the value: it is read afresh next time.
    void Forget(const Text& name) noexcept;

    bool Watched() const { return watched_; }

    // The most values kept; a reader asking for more reads the rest afresh.
    static constexpr std::size_t kMaxKeptValues = 64;

private:
    bool Watch();
    bool WatchAbsence();
    bool Arm(KHandle rawKey, long* status);
    void Unwatch() noexcept;
    KeyValue ReadFrom(KHandle key, const Text& name, std::uint32_t maxBytes);

    IRegistry& registry_;
    KHandle root_;
    Text path_;
    std::uint32_t access_;
    DebugTrace* trace_;
    std::string traceSource_;
    OwnedKey key_;
    OwnedNotifyEvent event_;
    bool watched_ = false;
    bool absent_ = false;  // key_ is the nearest key above a missing one
    long lastWatchError_ = 0;  // the error of the last watch that failed, so it is told once
    struct Kept {
        std::uint32_t maxBytes;
        KeyValue value;
    };
    std::map<Text, Kept> kept_;  // by upper-cased name
};

}  // namespace kx
