#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/SecurityDescriptor.h"

namespace kx {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes* b, std::uint32_t v) {
    b->push_back(static_cast<std::uint8_t>(v));
    b->push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes* b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A binary SID: authority (48 bits, big-endian) and sub-authorities.
Bytes Sid(std::uint64_t authority, std::vector<std::uint32_t> subs) {
    Bytes b = {1, static_cast<std::uint8_t>(subs.size())};
    for (int shift = 40; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(authority >> shift));
    for (std::uint32_t sub : subs) Put32(&b, sub);
    return b;
}
const Bytes kUsers = Sid(5, {32, 545});
const Bytes kAdministrators = Sid(5, {32, 544});

// An ACE: header, then the body as given (mask, and whatever the type puts after it).
Bytes Ace(std::uint8_t type, std::uint8_t flags, const Bytes& body) {
    Bytes b = {type, flags};
    Put16(&b, static_cast<std::uint32_t>(4 + body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
Bytes MaskAndSid(std::uint32_t mask, const Bytes& sid, const Bytes& after = {}) {
    Bytes b;
    Put32(&b, mask);
    b.insert(b.end(), sid.begin(), sid.end());
    b.insert(b.end(), after.begin(), after.end());
    return b;
}

// A self-relative descriptor: header, owner, DACL of the given ACEs.
Bytes Descriptor(const Bytes& owner, const std::vector<Bytes>& aces, std::uint16_t control) {
    Bytes acl = {2, 0};
    std::size_t size = 8;
    for (const Bytes& ace : aces) size += ace.size();
    Put16(&acl, static_cast<std::uint32_t>(size));
    Put16(&acl, static_cast<std::uint32_t>(aces.size()));
    Put16(&acl, 0);
    for (const Bytes& ace : aces) acl.insert(acl.end(), ace.begin(), ace.end());
    Bytes b = {1, 0};
    Put16(&b, control | w32::kSeSelfRelative);
    Put32(&b, owner.empty() ? 0 : 20);
    Put32(&b, 0);
    Put32(&b, 0);
    Put32(&b, (control & w32::kSeDaclPresent) != 0 ? static_cast<std::uint32_t>(20 + owner.size()) : 0);
    b.insert(b.end(), owner.begin(), owner.end());
    if ((control & w32::kSeDaclPresent) != 0) b.insert(b.end(), acl.begin(), acl.end());
    return b;
}

TEST(SecurityDescriptor, EveryKindOfEntryIsReadWithItsAccount) {
    Bytes objectBody;
    Put32(&objectBody, 0x1301BF);
    Put32(&objectBody, 3);  // both GUIDs present
    objectBody.insert(objectBody.end(), 32, 0xAB);
    objectBody.insert(objectBody.end(), kUsers.begin(), kUsers.end());
    // A conditional entry: the SID, then its condition ("artx" and an expression).
    const Bytes condition = {'a', 'r', 't', 'x', 0x80, 0, 0, 0};
    const std::vector<Bytes> aces = {
        Ace(w32::kAccessAllowedAceType, 0x13, MaskAndSid(w32::kFileAllAccess, kAdministrators)),
        Ace(w32::kAccessDeniedAceType, 0, MaskAndSid(w32::kDelete, kUsers)),
        Ace(w32::kAccessAllowedObjectAceType, 0, objectBody),
        Ace(w32::kAccessAllowedCallbackAceType, 0, MaskAndSid(w32::kFileWriteData, Sid(1, {0}), condition)),
        Ace(0x15, 0x2, MaskAndSid(0x77, kUsers)),  // a type this reader does not know
    };
    const Bytes bytes =
        Descriptor(Sid(5, {21, 1000, 2000, 3000, 1001}), aces, w32::kSeDaclPresent | w32::kSeDaclProtected);
    ObjectSecurity s;
    ASSERT_TRUE(ReadSecurityDescriptor(bytes.data(), bytes.size(), &s));
    EXPECT_EQ(s.owner, u"S-1-5-21-1000-2000-3000-1001");
    EXPECT_TRUE(s.hasDacl);
    EXPECT_TRUE(s.daclProtected);
    const std::vector<AccessEntry> expected = {
        {w32::kAccessAllowedAceType, 0x13, w32::kFileAllAccess, kSidAdministrators},
        {w32::kAccessDeniedAceType, 0, w32::kDelete, kSidUsers},
        {w32::kAccessAllowedObjectAceType, 0, 0x1301BF, kSidUsers},
        {w32::kAccessAllowedCallbackAceType, 0, w32::kFileWriteData, kSidEveryone},
        {0x15, 0x2, 0x77, u""},
    };
    EXPECT_EQ(s.dacl, expected);
}

TEST(SecurityDescriptor, AMissingOrNullDaclAndALargeAuthorityReadAsWindowsWritesThem) {
    const Bytes large = Sid(0x123456789ABCull, {7});
    const Bytes noDacl = Descriptor(large, {}, 0);
    ObjectSecurity s;
    ASSERT_TRUE(ReadSecurityDescriptor(noDacl.data(), noDacl.size(), &s));
    EXPECT_FALSE(s.hasDacl);
    EXPECT_EQ(s.owner, u"S-1-0x123456789ABC-7");

    Bytes nullDacl = Descriptor(kAdministrators, {}, w32::kSeDaclPresent);
    nullDacl[16] = nullDacl[17] = nullDacl[18] = nullDacl[19] = 0;  // present, at offset 0: a NULL DACL
    ASSERT_TRUE(ReadSecurityDescriptor(nullDacl.data(), nullDacl.size(), &s));
    EXPECT_FALSE(s.hasDacl);
}

TEST(SecurityDescriptor, BytesThatDoNotHoldWhatTheyAnnounceAreRefused) {
    const Bytes good = Descriptor(kAdministrators, {Ace(0, 0, MaskAndSid(1, kUsers))}, w32::kSeDaclPresent);
    const std::size_t acl = 20 + kAdministrators.size();
    struct Case {
        const char* name;
        std::size_t at;  // byte changed, or the length cut to when value is negative
        int value;
    };
    const std::vector<Case> cases = {
        {"cut inside the SID of the entry", good.size() - 2, -1},
        {"cut inside the header", 12, -1},
        {"not self-relative", 3, 0x00},
        {"the owner beyond the end", 4, 0xF0},
        {"the DACL beyond the end", 16, 0xF0},
        {"the ACL larger than the bytes", acl + 2, 0xF0},
        {"more entries than the ACL holds", acl + 4, 2},
        {"an entry larger than its ACL", acl + 8 + 2, 0x40},
        {"an entry smaller than its header", acl + 8 + 2, 2},
        {"a SID with 16 sub-authorities", acl + 8 + 8 + 1, 16},
        {"a SID of revision 2", 20, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bad = good;
        if (c.value < 0) {
            bad.resize(c.at);
        } else {
            bad[c.at] = static_cast<std::uint8_t>(c.value);
        }
        ObjectSecurity s;
        EXPECT_FALSE(ReadSecurityDescriptor(bad.data(), bad.size(), &s));
    }
    ObjectSecurity s;
    EXPECT_TRUE(ReadSecurityDescriptor(good.data(), good.size(), &s)) << "the unchanged bytes are read";
}

}  // namespace
}  // namespace kx
