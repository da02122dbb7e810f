// A self-relative security descriptor, as GetSecurityInfo returns it, read
// into an owner and a DACL without trusting a single length or offset in it.
//
// Every entry of the DACL is kept, whatever its type: the plain allow and
// deny entries, the object and callback (conditional) ones, and types this
// reader does not know, which keep their type and no account (sid empty),
// so that a judge of the DACL can count them as granting everything.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SecurityApi.h"

namespace kx {

namespace w32 {
constexpr std::uint16_t kSeDaclPresent = 0x0004;
constexpr std::uint16_t kSeDaclProtected = 0x1000;
constexpr std::uint16_t kSeSelfRelative = 0x8000;
}  // namespace w32

// A SID in its text form ("S-1-5-32-544") from its binary form at data;
// false when the bytes are no SID or run past size. *used is its length.
bool ReadSid(const std::uint8_t* data, std::size_t size, Text* sid, std::size_t* used);

// false when the descriptor is not self-relative, or its owner or DACL lies
// outside the bytes or is malformed; an entry that cannot be read whole
// makes the whole DACL unreadable (nothing of it is guessed).
bool ReadSecurityDescriptor(const std::uint8_t* data, std::size_t size, ObjectSecurity* security);

}  // namespace kx
