#include "setup/SecuredFolders.h"

#include <algorithm>
#include <cstddef>

#include "platform/SecurityDescriptor.h"

namespace kx {

namespace {

constexpr std::uint8_t kInherit = w32::kObjectInheritAce | w32::kContainerInheritAce;
constexpr std::uint32_t kShareNoDelete = w32::kFileShareRead | w32::kFileShareWrite;
// Read and run: what every account needs of the maker's and the install folder.
constexpr std::uint32_t kReadAndRun = w32::kFileGenericRead | w32::kFileGenericExecute;
// The data folder itself: list it and add files to it; no subfolders, no
// deletion of the folder or of other accounts' files through it, no rename.
constexpr std::uint32_t kListAndAddFiles = w32::kFileListDirectory | w32::kFileWriteData | w32::kFileReadEa |
                                           w32::kFileTraverse | w32::kFileReadAttributes | w32::kReadControl |
                                           w32::kSynchronize;
// The block-list files: read, written, and replaced (a save moves a new file
// over the old one, which needs DELETE on the file another account saved).
constexpr std::uint32_t kReadWriteReplace = w32::kFileGenericRead | w32::kFileGenericWrite | w32::kDelete;
// Rights on a folder that let an account put a file in it, delete or rename
// it (also through its parent), or change its rights or owner.
constexpr std::uint32_t kChangingRights = w32::kFileWriteData | w32::kFileDeleteChild | w32::kDelete |
                                          w32::kWriteDac | w32::kWriteOwner | w32::kGenericWrite | w32::kGenericAll;
// In the install folder, also adding subfolders and writing attributes or
// extended attributes: nothing there may be made or marked by others.
constexpr std::uint32_t kChangingInstallRights =
    kChangingRights | w32::kFileAppendData | w32::kFileWriteEa | w32::kFileWriteAttributes;
// Names tried for an install folder moved aside: "<folder>.unsafe", "<folder>.unsafe-2", ...
constexpr int kAsideNames = 9;
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorFileExists = 80;
const char16_t* const kBlockListFiles[] = {u"Kestrix.csv", u"Kestrix.csv.bak"};

AccessEntry Allow(const char16_t* sid, std::uint32_t mask, std::uint8_t flags) {
    return AccessEntry{w32::kAccessAllowedAceType, flags, mask, sid};
}

std::vector<AccessEntry> AdministratorsAndSystem(std::uint8_t flags) {
    return {Allow(kSidLocalSystem, w32::kFileAllAccess, flags), Allow(kSidAdministrators, w32::kFileAllAccess, flags)};
}

ObjectSecurity OwnedByAdministrators(std::vector<AccessEntry> dacl) {
    ObjectSecurity security;
    security.owner = kSidAdministrators;
    security.daclProtected = true;
    security.dacl = std::move(dacl);
    return security;
}

bool IsMissing(long error) { return error == w32::kErrorFileNotFound || error == w32::kErrorPathNotFound; }

bool IsDeny(std::uint8_t type) {
    return type == w32::kAccessDeniedAceType || type == w32::kAccessDeniedObjectAceType ||
           type == w32::kAccessDeniedCallbackAceType || type == w32::kAccessDeniedCallbackObjectAceType;
}

bool IsKnownAllow(std::uint8_t type) {
    return type == w32::kAccessAllowedAceType || type == w32::kAccessAllowedObjectAceType ||
           type == w32::kAccessAllowedCallbackAceType || type == w32::kAccessAllowedCallbackObjectAceType;
}

bool IsBareName(const Text& name) {
    return !name.empty() && name != u"." && name != u".." && name.find_first_of(u"\\/:") == Text::npos;
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "C:\a\b" as "C:\", "C:\a", "C:\a\b"; empty unless a local path of a drive.
std::vector<Text> Prefixes(const Text& path) {
    std::vector<Text> prefixes;
    if (path.size() < 3 || !IsLetter(path[0]) || path[1] != u':' || path[2] != u'\\') return prefixes;
    prefixes.push_back(path.substr(0, 3));
    std::size_t start = 3;
    while (start < path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == Text::npos) end = path.size();
        const Text part = path.substr(start, end - start);
        // "." and ".." would let the path climb out of where it was checked.
        if (part.empty() || part == u"." || part == u"..") return {};
        prefixes.push_back(path.substr(0, end));
        start = end + 1;
    }
    return prefixes;
}

// The folder's rights without its inherit-only CREATOR OWNER entries. Such an
// entry grants nothing on the folder itself: it is copied, as an entry for
// whoever makes an object inside, onto that object only. Who can make
// something inside is decided by the folder's owner and its other entries;
// when OthersCanChange finds that none of them lets an untrusted account add
// a file or a subfolder, only trusted accounts can ever be that creator, and
// the entry reaches no one else. Windows puts one on every folder made under
// Program Files, so the folder a package has just made there carries it.
ObjectSecurity WithoutCreatorOwnerForNewObjects(ObjectSecurity security) {
    auto& dacl = security.dacl;
    dacl.erase(std::remove_if(dacl.begin(), dacl.end(),
                              [](const AccessEntry& e) {
                                  return e.type == w32::kAccessAllowedAceType && e.sid == kSidCreatorOwner &&
                                         (e.flags & w32::kInheritOnlyAce) != 0;
                              }),
               dacl.end());
    return security;
}

Text WithoutTrailingBackslashes(Text path) {
    while (path.size() > 3 && path.back() == u'\\') path.pop_back();
    return path;
}

}  // namespace

std::vector<AccessEntry> MakerFolderAcl() {
    auto acl = AdministratorsAndSystem(kInherit);
    acl.push_back(Allow(kSidUsers, kReadAndRun, kInherit));
    return acl;
}

std::vector<AccessEntry> DataFolderAcl() {
    auto acl = AdministratorsAndSystem(kInherit);
    acl.push_back(Allow(kSidUsers, kListAndAddFiles, 0));
    acl.push_back(Allow(kSidUsers, kReadWriteReplace, w32::kObjectInheritAce | w32::kInheritOnlyAce));
    return acl;
}

std::vector<AccessEntry> DataFileAcl() {
    auto acl = AdministratorsAndSystem(0);
    acl.push_back(Allow(kSidUsers, kReadWriteReplace, 0));
    return acl;
}

std::vector<AccessEntry> InstallFolderAcl() {
    auto acl = AdministratorsAndSystem(kInherit);
    acl.push_back(Allow(kSidUsers, kReadAndRun, kInherit));
    return acl;
}

bool OthersCanChange(const ObjectSecurity& security, const std::vector<Text>& trusted, FolderRole role) {
    const auto isTrusted = [&trusted](const Text& sid) {
        return !sid.empty() && std::find(trusted.begin(), trusted.end(), sid) != trusted.end();
    };
    if (!isTrusted(security.owner) || !security.hasDacl) return true;
    const std::uint32_t rights = role == FolderRole::Install ? kChangingInstallRights : kChangingRights;
    for (const AccessEntry& entry : security.dacl) {
        // A deny entry is never relied on: the order of the entries may put an allow before it.
        if (IsDeny(entry.type)) continue;
        if (!IsKnownAllow(entry.type)) return true;
        // Above the install folder only what applies to the folder itself;
        // in it also what the files written there inherit.
        if (role == FolderRole::Above && (entry.flags & w32::kInheritOnlyAce) != 0) continue;
        if ((entry.mask & rights) != 0 && !isTrusted(entry.sid)) return true;
    }
    return false;
}

Text DescribeOutcome(const FolderOutcome& outcome) {
    const Text& p = outcome.path;
    switch (outcome.verdict) {
        case FolderVerdict::Ready: return p + u" is ready.";
        case FolderVerdict::MovedAside:
            return outcome.aside.empty()
                       ? p + u" could be changed by accounts other than administrators; it was empty, so it was "
                             u"removed and made anew."
                       : p + u" could be changed by accounts other than administrators; it was moved aside to " +
                             outcome.aside + u" and made anew.";
        case FolderVerdict::OpenToOthers:
            return p + u" could be changed by accounts other than administrators, so nothing installed in or below it "
                       u"would be safe. Choose another folder, or correct its rights, and run setup again.";
        case FolderVerdict::CannotMoveAside:
            return p + u" could be changed by accounts other than administrators and cannot be moved aside. "
                       u"Close the programs that use it and run setup again.";
        case FolderVerdict::CannotReplace:
            return p + u" cannot be replaced. Close the program that uses it and run setup again.";
        case FolderVerdict::ReparsePoint:
            return p + u" is a link (a reparse point), which setup never follows. Remove it and run setup again.";
        case FolderVerdict::ForeignOwner:
            return p + u" belongs to an account that is not an administrator. Remove it and run setup again.";
        case FolderVerdict::NotAFolder: return p + u" is a file, not a folder. Remove it and run setup again.";
        case FolderVerdict::NotAPlainFile:
            return p + u" is a link or has more than one name; it was left as it is. Remove it and run setup again.";
        case FolderVerdict::CannotOpen: return p + u" cannot be opened.";
        case FolderVerdict::CannotCreate: return p + u" cannot be created.";
        case FolderVerdict::CannotSecure: return u"The rights of " + p + u" cannot be set.";
    }
    return p;
}

// The opened components of a path, each held without sharing deletion, so
// that none can be renamed or replaced while the walk lasts.
struct SecuredFolders::Walk {
    std::vector<Text> paths;
    std::vector<OwnedObject> handles;
    std::vector<ObjectSecurity> security;
    // The install folder's walk: our own component is opened with DELETE (to
    // be moved aside), and every folder above it is judged before anything
    // is made below it, and held.
    bool install = false;
};

bool SecuredFolders::IsTrustedOwner(const Text& sid) const {
    return std::find(trustedOwners_.begin(), trustedOwners_.end(), sid) != trustedOwners_.end();
}

FolderOutcome SecuredFolders::OpenFolder(const Text& path, std::uint32_t access, std::uint32_t share,
                                         OwnedObject* object, ObjectSecurity* security) {
    *object = OwnedObject(security_, security_.OpenObject(path, access, share));
    if (!*object) return {FolderVerdict::CannotOpen, path};
    FileIdentity identity;
    if (!security_.GetFileInformationByHandle(object->get(), &identity)) return {FolderVerdict::CannotOpen, path};
    if ((identity.attributes & w32::kFileAttributeReparsePoint) != 0) return {FolderVerdict::ReparsePoint, path};
    if ((identity.attributes & w32::kFileAttributeDirectory) == 0) return {FolderVerdict::NotAFolder, path};
    if (!security_.GetSecurityInfo(object->get(), security)) return {FolderVerdict::CannotOpen, path};
    return {FolderVerdict::Ready, path};
}

FolderOutcome SecuredFolders::OpenPath(const Text& path, std::size_t ownFrom, Walk* walk, bool create,
                                       const std::vector<std::vector<AccessEntry>>* createAcls) {
    walk->paths = Prefixes(path);
    if (walk->paths.empty()) return {FolderVerdict::CannotOpen, path};
    walk->security.assign(walk->paths.size(), ObjectSecurity{});
    for (std::size_t i = 0; i < walk->paths.size(); ++i) {
        const Text& component = walk->paths[i];
        const bool own = i >= ownFrom;
        // Every folder on the way is looked at (its owner too, below the
        // drive's root); ours are also held, so that none can be renamed.
        const std::uint32_t access = w32::kFileReadAttributes | w32::kSynchronize | w32::kReadControl |
                                     (own ? w32::kWriteDac | w32::kWriteOwner : 0u) |
                                     (own && walk->install ? w32::kDelete : 0u);
        // The install folder's walk holds the folders above as well: the files
        // are written while none of them can be renamed.
        const std::uint32_t share = own || walk->install ? kShareNoDelete : kShareNoDelete | w32::kFileShareDelete;
        OwnedObject object;
        FolderOutcome opened = OpenFolder(component, access, share, &object, &walk->security[i]);
        if (!object && create && i != 0 && IsMissing(security_.GetLastError())) {
            // Someone may make it first; what is there afterwards is checked like anything else.
            if (own && createAcls != nullptr && i - ownFrom < createAcls->size()) {
                const ObjectSecurity security = OwnedByAdministrators((*createAcls)[i - ownFrom]);
                security_.CreateDirectoryW(component, &security);
            } else {
                security_.CreateDirectoryW(component, nullptr);
            }
            opened = OpenFolder(component, access, share, &object, &walk->security[i]);
        }
        if (!object) {
            return {create || !IsMissing(security_.GetLastError()) ? FolderVerdict::CannotOpen : FolderVerdict::Ready,
                    component};
        }
        if (!opened.ok()) return opened;
        // A folder above ours that an ordinary account owns could be renamed,
        // and a link put in its place, as soon as this walk ends.
        if (i != 0 && !own && !IsTrustedOwner(walk->security[i].owner)) return {FolderVerdict::ForeignOwner, component};
        // Nor may any other account be able to change it: whoever can could
        // rename it, or one of its folders, and put one of their own in its place.
        if (walk->install && !own && OthersCanChange(walk->security[i], trustedOwners_, FolderRole::Above)) {
            return {FolderVerdict::OpenToOthers, component};
        }
        walk->handles.push_back(std::move(object));
    }
    return {FolderVerdict::Ready, walk->paths.back()};
}

FolderOutcome SecuredFolders::CheckOwners(const Walk& walk, std::size_t ownFrom) const {
    for (std::size_t i = ownFrom; i < walk.paths.size(); ++i) {
        if (!IsTrustedOwner(walk.security[i].owner)) return {FolderVerdict::ForeignOwner, walk.paths[i]};
    }
    return {FolderVerdict::Ready, walk.paths.back()};
}

FolderOutcome SecuredFolders::SecureFile(const Text& path) {
    const std::uint32_t access = w32::kFileReadAttributes | w32::kReadControl | w32::kWriteDac | w32::kSynchronize;
    OwnedObject file(security_, security_.OpenObject(path, access, kShareNoDelete));
    if (!file) {
        // Nothing to carry over.
        if (IsMissing(security_.GetLastError())) return {FolderVerdict::Ready, path};
        return {FolderVerdict::CannotOpen, path};
    }
    FileIdentity identity;
    if (!security_.GetFileInformationByHandle(file.get(), &identity)) return {FolderVerdict::CannotOpen, path};
    // A hard link would hand the grant to another file; a reparse point to its target.
    if ((identity.attributes & (w32::kFileAttributeReparsePoint | w32::kFileAttributeDirectory)) != 0 ||
        identity.numberOfLinks != 1) {
        return {FolderVerdict::NotAPlainFile, path};
    }
    ObjectSecurity security;
    security.daclProtected = true;
    security.dacl = DataFileAcl();
    if (!security_.SetKernelObjectSecurity(file.get(), security)) return {FolderVerdict::CannotSecure, path};
    return {FolderVerdict::Ready, path};
}

FolderOutcome SecuredFolders::PrepareDataFolder(const Text& base, const Text& own) {
    try {
        const Text root = WithoutTrailingBackslashes(base);
        const std::size_t ownFrom = Prefixes(root).size();
        const std::size_t ownCount = Prefixes(u"C:\\" + own).size();  // with the "C:\\" that stands for the base
        if (ownFrom == 0 || ownCount < 2) return {FolderVerdict::CannotOpen, base + own};
        // The maker's folders above the data folder, then the data folder.
        std::vector<std::vector<AccessEntry>> acls(ownCount - 2, MakerFolderAcl());
        acls.push_back(DataFolderAcl());

        Walk walk;
        FolderOutcome outcome = OpenPath(root + u"\\" + own, ownFrom, &walk, true, &acls);
        if (!outcome.ok()) return outcome;
        outcome = CheckOwners(walk, ownFrom);
        if (!outcome.ok()) return outcome;
        for (std::size_t i = ownFrom; i < walk.paths.size(); ++i) {
            if (!security_.SetKernelObjectSecurity(walk.handles[i].get(), OwnedByAdministrators(acls[i - ownFrom]))) {
                return {FolderVerdict::CannotSecure, walk.paths[i]};
            }
        }
        for (const char16_t* name : kBlockListFiles) {
            const FolderOutcome file = SecureFile(walk.paths.back() + u"\\" + name);
            if (!file.ok()) return file;
        }
        return outcome;
    } catch (...) {
        return {FolderVerdict::CannotOpen, base + own};
    }
}

FolderOutcome SecuredFolders::PrepareInstallChain(const Text& path, Walk* walk) {
    const std::size_t count = Prefixes(path).size();
    if (count < 2) return {FolderVerdict::CannotOpen, path};
    const std::vector<std::vector<AccessEntry>> acls = {InstallFolderAcl()};
    walk->install = true;
    const FolderOutcome outcome = OpenPath(path, count - 1, walk, true, &acls);
    if (!outcome.ok()) return outcome;
    if (!OthersCanChange(walk->security.back(), trustedOwners_, FolderRole::Install)) return outcome;
    return RenewInstallFolder(path, walk);
}

FolderOutcome SecuredFolders::RenewInstallFolder(const Text& path, Walk* walk) {
    // Within its parent, which only trusted accounts can change.
    OwnedObject old = std::move(walk->handles.back());
    walk->handles.pop_back();
    Text aside;
    for (int n = 1; n <= kAsideNames && aside.empty(); ++n) {
        const Text name = path + u".unsafe" + (n == 1 ? Text() : Text(u"-") + static_cast<char16_t>(u'0' + n));
        if (security_.MoveObject(old.get(), name)) {
            aside = name;
        } else if (security_.GetLastError() != kErrorAlreadyExists && security_.GetLastError() != kErrorFileExists) {
            break;
        }
    }
    if (aside.empty()) return {FolderVerdict::CannotMoveAside, path};
    old.reset();
    std::vector<Text> names;
    if (security_.ListFolder(aside, &names) && names.empty() && security_.RemoveDirectoryW(aside)) aside.clear();

    const ObjectSecurity fresh = OwnedByAdministrators(InstallFolderAcl());
    if (!security_.CreateDirectoryW(path, &fresh)) return {FolderVerdict::CannotCreate, path};
    OwnedObject object;
    const std::uint32_t access = w32::kFileReadAttributes | w32::kSynchronize | w32::kReadControl | w32::kWriteDac |
                                 w32::kWriteOwner | w32::kDelete;
    const FolderOutcome opened = OpenFolder(path, access, kShareNoDelete, &object, &walk->security.back());
    if (!opened.ok()) return opened;
    if (OthersCanChange(walk->security.back(), trustedOwners_, FolderRole::Install)) {
        return {FolderVerdict::CannotSecure, path};
    }
    walk->handles.push_back(std::move(object));
    return {FolderVerdict::MovedAside, path, aside};
}

FolderOutcome SecuredFolders::PrepareInstallFolder(const Text& folder) {
    try {
        Walk walk;
        return PrepareInstallChain(WithoutTrailingBackslashes(folder), &walk);
    } catch (...) {
        return {FolderVerdict::CannotOpen, folder};
    }
}

FolderOutcome SecuredFolders::SecureInstalledFolder(const Text& folder) {
    try {
        const Text path = WithoutTrailingBackslashes(folder);
        const std::size_t count = Prefixes(path).size();
        if (count < 2) return {FolderVerdict::CannotOpen, path};
        Walk walk;
        walk.install = true;
        const FolderOutcome outcome = OpenPath(path, count - 1, &walk, false, nullptr);
        if (!outcome.ok()) return outcome;
        // The package put its files there: a missing folder is not one to make now.
        if (walk.handles.size() != walk.paths.size()) return {FolderVerdict::CannotOpen, path};
        if (OthersCanChange(WithoutCreatorOwnerForNewObjects(walk.security.back()), trustedOwners_,
                            FolderRole::Install)) {
            return {FolderVerdict::OpenToOthers, path};
        }
        if (!security_.SetKernelObjectSecurity(walk.handles.back().get(), OwnedByAdministrators(InstallFolderAcl()))) {
            return {FolderVerdict::CannotSecure, path};
        }
        return {FolderVerdict::Ready, path};
    } catch (...) {
        return {FolderVerdict::CannotOpen, folder};
    }
}

FolderOutcome SecuredFolders::InstallFiles(const Text& folder, const Text& staging, const std::vector<Text>& files) {
    try {
        const Text path = WithoutTrailingBackslashes(folder);
        const Text from = WithoutTrailingBackslashes(staging);
        Walk walk;
        const FolderOutcome outcome = PrepareInstallChain(path, &walk);
        if (!outcome.ok()) return outcome;
        for (const Text& name : files) {
            const Text target = path + u"\\" + name;
            if (!IsBareName(name)) return {FolderVerdict::CannotCreate, target};
            // The earlier copy goes first, so that the new file takes the folder's rights.
            if (!security_.DeleteFileW(target) && !IsMissing(security_.GetLastError())) {
                return {FolderVerdict::CannotReplace, target};
            }
            if (!security_.CopyFileW(from + u"\\" + name, target)) return {FolderVerdict::CannotCreate, target};
        }
        return outcome;
    } catch (...) {
        return {FolderVerdict::CannotOpen, folder};
    }
}

FolderOutcome SecuredFolders::RemoveBlockList(const Text& base, const Text& own) {
    try {
        const Text root = WithoutTrailingBackslashes(base);
        const std::size_t ownFrom = Prefixes(root).size();
        if (ownFrom == 0) return {FolderVerdict::CannotOpen, base};
        std::vector<Text> folders;
        {
            Walk walk;
            FolderOutcome outcome = OpenPath(root + u"\\" + own, ownFrom, &walk, false, nullptr);
            if (!outcome.ok() || walk.handles.size() != walk.paths.size()) return outcome;  // nothing there
            outcome = CheckOwners(walk, ownFrom);
            if (!outcome.ok()) return outcome;
            // Deleting a name removes that name only, also when it is a link.
            for (const char16_t* name : kBlockListFiles) security_.DeleteFileW(walk.paths.back() + u"\\" + name);
            folders.assign(walk.paths.begin() + static_cast<std::ptrdiff_t>(ownFrom), walk.paths.end());
        }
        // Our own handles would keep the folders; each goes only when empty.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) security_.RemoveDirectoryW(*it);
        return {FolderVerdict::Ready, folders.back()};
    } catch (...) {
        return {FolderVerdict::CannotOpen, base};
    }
}

}  // namespace kx
