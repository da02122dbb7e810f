// Ownership of platform handles: every handle the program opens through the
// seam is held by one of these and released on every path.
#pragma once

#include <utility>

#include "platform/Types.h"

namespace kx {

// Owns one KHandle and releases it with Close(api, handle) on destruction.
// Close is a plain function so the type stays small and cheap.
template <typename Api, void (*Close)(Api&, KHandle)>
class Owned {
public:
    Owned() = default;
    Owned(Api& api, KHandle handle) : api_(&api), handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : api_(other.api_), handle_(std::exchange(other.handle_, 0)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            api_ = other.api_;
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    ~Owned() { reset(); }

    KHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    KHandle release() { return std::exchange(handle_, 0); }
    void reset() {
        if (handle_ != 0 && api_ != nullptr) {
            Close(*api_, std::exchange(handle_, 0));
        }
    }

private:
    Api* api_ = nullptr;
    KHandle handle_ = 0;
};

}  // namespace kx
