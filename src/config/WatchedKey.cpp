#include "config/WatchedKey.h"

#include "platform/AsciiCase.h"

namespace kx {

namespace {
// A value added, removed or changed; subkeys do not matter.
constexpr std::uint32_t kNotifyFilter = w32::kRegNotifyChangeName | w32::kRegNotifyChangeLastSet;
constexpr long kErrorInvalidHandle = 6;
}  // namespace

std::optional<std::uint32_t> DwordValue(const KeyValue& value) {
    if (value.status != w32::kErrorSuccess || value.tooLarge || value.type != w32::kRegDword ||
        value.data.size() != 4) {
        return std::nullopt;
    }
    const std::uint8_t* d = value.data.data();
    return d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
}

bool WatchedKey::Arm(KHandle rawKey, long* status) {
    key_ = OwnedKey(registry_, rawKey);
    if (!event_) event_ = OwnedNotifyEvent(registry_, registry_.CreateNotifyEvent());
    *status = event_ ? registry_.RegNotifyChangeKeyValue(key_.get(), kNotifyFilter, event_.get())
                     : kErrorInvalidHandle;
    return *status == w32::kErrorSuccess;
}

bool WatchedKey::WatchAbsence() {
    // The nearest key above that exists; the root itself (an empty path) at the last.
    Text above = path_;
    while (!above.empty()) {
        const std::size_t slash = above.rfind(u'\\');
        above.resize(slash == Text::npos ? 0 : slash);
        KHandle raw = 0;
        long status = registry_.RegOpenKeyExW(root_, above, access_, &raw);
        if (status == w32::kErrorFileNotFound) continue;
        if (status == w32::kErrorSuccess && raw != 0 && Arm(raw, &status)) {
            absent_ = true;
            return true;
        }
        key_.reset();
        return false;
    }
    return false;
}

bool WatchedKey::Watch() {
    KHandle raw = 0;
    long status = registry_.RegOpenKeyExW(root_, path_, access_, &raw);
    if (status == w32::kErrorSuccess && raw != 0) {
        Arm(raw, &status);
    } else if (status == w32::kErrorSuccess) {
        status = w32::kErrorFileNotFound;
    }
    if (status == w32::kErrorFileNotFound && WatchAbsence()) {
        lastWatchError_ = 0;
        return true;
    }
    if (status != w32::kErrorSuccess) {
        // A missing key that cannot be watched from above is no failure
        // either: it is read afresh, as it always was.
        if (status != w32::kErrorFileNotFound && status != lastWatchError_ && trace_ != nullptr) {
            trace_->Line(traceSource_, "the key cannot be watched (error " + std::to_string(status) +
                                           "); its values are read at every use");
        }
        lastWatchError_ = status;
        key_.reset();
        return false;
    }
    lastWatchError_ = 0;
    return true;
}

void WatchedKey::Unwatch() noexcept {
    watched_ = false;
    absent_ = false;
    kept_.clear();
    key_.reset();
}

void WatchedKey::Refresh() noexcept {
    try {
        if (watched_) {
            if (!registry_.NotifyEventSignalled(event_.get())) return;
            // Changed: what was kept is stale. The watch is set again before
            // anything is read, so that no later change goes unseen.
            kept_.clear();
            // A key above a missing one changed: the key may exist now.
            if (!absent_ &&
                registry_.RegNotifyChangeKeyValue(key_.get(), kNotifyFilter, event_.get()) == w32::kErrorSuccess) {
                return;
            }
            Unwatch();  // the key was created or deleted, or the watch refused: open it again
        }
        watched_ = Watch();
    } catch (...) {
        Unwatch();
    }
}

KeyValue WatchedKey::ReadFrom(KHandle key, const Text& name, std::uint32_t maxBytes) {
    // One question with room for the largest value accepted: a larger one
    // answers "more data".
    KeyValue value;
    value.data.assign(maxBytes, 0);
    std::uint32_t got = maxBytes;
    value.status = registry_.RegQueryValueExW(key, name, &value.type, maxBytes != 0 ? value.data.data() : nullptr,
                                              &got);
    if (value.status == w32::kErrorMoreData || (value.status == w32::kErrorSuccess && got > maxBytes)) {
        value.status = w32::kErrorSuccess;
        value.tooLarge = true;
        got = 0;
    }
    value.data.resize(value.status == w32::kErrorSuccess ? got : 0);
    return value;
}

KeyValue WatchedKey::Read(const Text& name, std::uint32_t maxBytes) noexcept {
    try {
        if (!watched_) {
            KHandle raw = 0;
            const long opened = registry_.RegOpenKeyExW(root_, path_, access_, &raw);
            if (opened != w32::kErrorSuccess || raw == 0) {
                KeyValue missing;
                missing.status = opened == w32::kErrorSuccess ? w32::kErrorFileNotFound : opened;
                return missing;
            }
            const OwnedKey key(registry_, raw);
            return ReadFrom(key.get(), name, maxBytes);
        }
        if (absent_) {
            KeyValue missing;  // the key has not appeared since the last look
            return missing;
        }
        const Text upper = AsciiUpper(name);
        const auto kept = kept_.find(upper);
        // A value kept for a reader that accepts as much answers it.
        if (kept != kept_.end() && kept->second.maxBytes == maxBytes) return kept->second.value;
        KeyValue value = ReadFrom(key_.get(), name, maxBytes);
        if (value.status == kErrorInvalidHandle) {
            // The key went away under the watch: read afresh until it is watched again.
            Unwatch();
            return Read(name, maxBytes);
        }
        if (kept_.size() < kMaxKeptValues || kept != kept_.end()) kept_[upper] = Kept{maxBytes, value};
        return value;
    } catch (...) {
        KeyValue failed;
        failed.status = kErrorInvalidHandle;
        return failed;
    }
}

void WatchedKey::Forget(const Text& name) noexcept {
    try {
        kept_.erase(AsciiUpper(name));
    } catch (...) {
        kept_.clear();
    }
}

}  // namespace kx
