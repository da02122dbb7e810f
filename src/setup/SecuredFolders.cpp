#include "setup/SecuredFolders.h"

#include <algorithm>
#include <cstddef>

#include "config/TextRules.h"

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
// Rights that let an account change a folder or what it holds.
constexpr std::uint32_t kWritingRights = w32::kFileWriteData | w32::kFileAppendData | w32::kFileDeleteChild |
                                         w32::kDelete | w32::kWriteDac | w32::kWriteOwner | w32::kGenericWrite |
                                         w32::kGenericAll;
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

bool OrdinaryAccountsCanWrite(const ObjectSecurity& security) {
    if (!security.hasDacl) return true;
    static const char16_t* const kOrdinary[] = {kSidUsers, kSidAuthenticatedUsers, kSidEveryone, kSidInteractive};
    for (const AccessEntry& entry : security.dacl) {
        if (entry.type != w32::kAccessAllowedAceType || (entry.mask & kWritingRights) == 0) continue;
        // An inherit-only entry counts too: it is what the files made inside get.
        for (const char16_t* sid : kOrdinary) {
            if (entry.sid == sid) return true;
        }
    }
    return false;
}

Text DescribeOutcome(const FolderOutcome& outcome) {
    const Text& p = outcome.path;
    switch (outcome.verdict) {
        case FolderVerdict::Ready: return p + u" is ready.";
        case FolderVerdict::Hardened:
            return p + u" could be changed by ordinary accounts; its owner and rights were reset to administrators.";
        case FolderVerdict::ReparsePoint:
            return p + u" is a link (a reparse point), which setup never follows. Remove it and run setup again.";
        case FolderVerdict::ForeignOwner:
            return p + u" belongs to an account that is not an administrator. Remove it and run setup again.";
        case FolderVerdict::NotOnlyOurs:
            return p + u" lies in a folder ordinary accounts could change, and setup did not put it there. Choose "
                       u"another folder, or empty this one, and run setup again.";
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
    std::vector<ObjectSecurity> security;  // read for our own components only
};

bool SecuredFolders::IsTrustedOwner(const Text& sid) const {
    return std::find(trustedOwners_.begin(), trustedOwners_.end(), sid) != trustedOwners_.end();
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
        const std::uint32_t access = w32::kFileReadAttributes | w32::kSynchronize | (i != 0 ? w32::kReadControl : 0u) |
                                     (own ? w32::kWriteDac | w32::kWriteOwner : 0u);
        const std::uint32_t share = own ? kShareNoDelete : kShareNoDelete | w32::kFileShareDelete;
        OwnedObject object(security_, security_.OpenObject(component, access, share));
        if (!object && create && i != 0 && IsMissing(security_.GetLastError())) {
            // Someone may make it first; what is there afterwards is checked like anything else.
            if (own && createAcls != nullptr && i - ownFrom < createAcls->size()) {
                const ObjectSecurity security = OwnedByAdministrators((*createAcls)[i - ownFrom]);
                security_.CreateDirectoryW(component, &security);
            } else {
                security_.CreateDirectoryW(component, nullptr);
            }
            object = OwnedObject(security_, security_.OpenObject(component, access, share));
        }
        if (!object) {
            return {create || !IsMissing(security_.GetLastError()) ? FolderVerdict::CannotOpen : FolderVerdict::Ready,
                    component};
        }
        FileIdentity identity;
        if (!security_.GetFileInformationByHandle(object.get(), &identity)) return {FolderVerdict::CannotOpen, component};
        if ((identity.attributes & w32::kFileAttributeReparsePoint) != 0) return {FolderVerdict::ReparsePoint, component};
        if ((identity.attributes & w32::kFileAttributeDirectory) == 0) return {FolderVerdict::NotAFolder, component};
        if (i != 0 && !security_.GetSecurityInfo(object.get(), &walk->security[i])) {
            return {FolderVerdict::CannotOpen, component};
        }
        // A folder above ours that an ordinary account owns could be renamed,
        // and a link put in its place, as soon as this walk ends.
        if (i != 0 && !own && !IsTrustedOwner(walk->security[i].owner)) return {FolderVerdict::ForeignOwner, component};
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

FolderOutcome SecuredFolders::PrepareInstallFolder(const Text& folder, const std::vector<Text>& setupFiles) {
    try {
        const Text path = WithoutTrailingBackslashes(folder);
        const std::size_t count = Prefixes(path).size();
        if (count < 2) return {FolderVerdict::CannotOpen, folder};
        const std::vector<std::vector<AccessEntry>> acls = {InstallFolderAcl()};
        Walk walk;
        FolderOutcome outcome = OpenPath(path, count - 1, &walk, true, &acls);
        if (!outcome.ok()) return outcome;
        const ObjectSecurity& now = walk.security.back();
        if (IsTrustedOwner(now.owner) && !OrdinaryAccountsCanWrite(now)) return outcome;
        std::vector<Text> names;
        if (!security_.ListFolder(path, &names)) return {FolderVerdict::CannotOpen, path};
        for (const Text& name : names) {
            const bool ours = std::any_of(setupFiles.begin(), setupFiles.end(),
                                          [&](const Text& file) { return AsciiLower(file) == AsciiLower(name); });
            if (!ours) return {FolderVerdict::NotOnlyOurs, path + u"\\" + name};
        }
        if (!security_.SetKernelObjectSecurity(walk.handles.back().get(), OwnedByAdministrators(InstallFolderAcl()))) {
            return {FolderVerdict::CannotSecure, path};
        }
        return {FolderVerdict::Hardened, path};
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
