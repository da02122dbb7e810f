#include "platform/SecurityDescriptor.h"

namespace kx {

namespace {

constexpr std::size_t kDescriptorHeader = 20;  // revision, Sbz1, control, four offsets
constexpr std::size_t kAclHeader = 8;
constexpr std::size_t kAceHeader = 4;
constexpr std::size_t kMaxSubAuthorities = 15;
constexpr std::uint32_t kObjectTypePresent = 0x1;
constexpr std::uint32_t kInheritedObjectTypePresent = 0x2;

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void AppendNumber(Text* text, std::uint64_t value, bool hex) {
    const char16_t* digits = u"0123456789ABCDEF";
    char16_t buffer[24];
    std::size_t length = 0;
    const unsigned base = hex ? 16 : 10;
    do {
        buffer[length++] = digits[value % base];
        value /= base;
    } while (value != 0);
    if (hex) {
        // Windows writes an authority of 2^32 or more as twelve hexadecimal digits.
        while (length < 12) buffer[length++] = u'0';
        text->append(u"0x");
    }
    while (length != 0) text->push_back(buffer[--length]);
}

// The SID an entry of this type names lies after its mask (and, for the
// object types, after their flags and the GUIDs those flags announce); 0
// for a type whose layout is not known here.
std::size_t SidOffset(std::uint8_t type, const std::uint8_t* body, std::size_t bodySize) {
    switch (type) {
        case w32::kAccessAllowedAceType:
        case w32::kAccessDeniedAceType:
        case w32::kAccessAllowedCallbackAceType:
        case w32::kAccessDeniedCallbackAceType: return 4;
        case w32::kAccessAllowedObjectAceType:
        case w32::kAccessDeniedObjectAceType:
        case w32::kAccessAllowedCallbackObjectAceType:
        case w32::kAccessDeniedCallbackObjectAceType: {
            if (bodySize < 8) return SIZE_MAX;
            const std::uint32_t flags = Read32(body + 4);
            return 8 + ((flags & kObjectTypePresent) != 0 ? 16 : 0) +
                   ((flags & kInheritedObjectTypePresent) != 0 ? 16 : 0);
        }
        default: return 0;
    }
}

bool ReadAcl(const std::uint8_t* data, std::size_t size, std::vector<AccessEntry>* entries) {
    if (size < kAclHeader) return false;
    const std::size_t aclSize = Read16(data + 2);
    const std::size_t count = Read16(data + 4);
    if (aclSize < kAclHeader || aclSize > size) return false;
    std::size_t at = kAclHeader;
    for (std::size_t i = 0; i < count; ++i) {
        if (aclSize - at < kAceHeader) return false;
        const std::uint8_t* ace = data + at;
        const std::size_t aceSize = Read16(ace + 2);
        if (aceSize < kAceHeader || aceSize > aclSize - at) return false;
        AccessEntry entry;
        entry.type = ace[0];
        entry.flags = ace[1];
        const std::uint8_t* body = ace + kAceHeader;
        const std::size_t bodySize = aceSize - kAceHeader;
        if (bodySize >= 4) entry.mask = Read32(body);
        const std::size_t sidAt = SidOffset(entry.type, body, bodySize);
        if (sidAt != 0) {
            std::size_t used = 0;
            if (sidAt >= bodySize || !ReadSid(body + sidAt, bodySize - sidAt, &entry.sid, &used)) return false;
        }
        entries->push_back(std::move(entry));
        at += aceSize;
    }
    return true;
}

}  // namespace

bool ReadSid(const std::uint8_t* data, std::size_t size, Text* sid, std::size_t* used) {
    if (size < 8 || data[0] != 1 || data[1] > kMaxSubAuthorities) return false;
    const std::size_t count = data[1];
    if (size < 8 + 4 * count) return false;
    std::uint64_t authority = 0;
    for (std::size_t i = 2; i < 8; ++i) authority = (authority << 8) | data[i];
    Text text = u"S-1-";
    AppendNumber(&text, authority, authority > 0xFFFFFFFFu);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(u'-');
        AppendNumber(&text, Read32(data + 8 + 4 * i), false);
    }
    *sid = std::move(text);
    *used = 8 + 4 * count;
    return true;
}

bool ReadSecurityDescriptor(const std::uint8_t* data, std::size_t size, ObjectSecurity* security) {
    if (data == nullptr || security == nullptr || size < kDescriptorHeader || data[0] != 1) return false;
    const std::uint16_t control = Read16(data + 2);
    if ((control & w32::kSeSelfRelative) == 0) return false;
    const std::size_t ownerAt = Read32(data + 4);
    const std::size_t daclAt = Read32(data + 16);
    ObjectSecurity read;
    if (ownerAt != 0) {
        std::size_t used = 0;
        if (ownerAt < kDescriptorHeader || ownerAt >= size || !ReadSid(data + ownerAt, size - ownerAt, &read.owner, &used)) {
            return false;
        }
    }
    read.daclProtected = (control & w32::kSeDaclProtected) != 0;
    // No DACL at all, or a NULL one: nothing is denied to anyone.
    read.hasDacl = (control & w32::kSeDaclPresent) != 0 && daclAt != 0;
    if (read.hasDacl) {
        if (daclAt < kDescriptorHeader || daclAt >= size || !ReadAcl(data + daclAt, size - daclAt, &read.dacl)) {
            return false;
        }
    }
    *security = std::move(read);
    return true;
}

}  // namespace kx
