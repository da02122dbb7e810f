// The folders the elevated installer prepares: the all-users data folder,
// which every account writes, and the install folder, whose programs the
// logon entry starts for every account.
//
// The installer runs as an administrator, so it must never be steered by a
// link an ordinary account planted: every component of a path is opened
// without following reparse points and held open, without sharing deletion,
// until the work is done (so no component can be renamed or replaced in
// between); a reparse point, or a folder of ours owned by someone other than
// an administrator, is refused. Rights are written through the opened handle
// as a protected DACL that applies to that object only: nothing propagates
// to what lies below, where a link may have been planted.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/SecurityApi.h"
#include "platform/Types.h"

namespace kx {

enum class FolderVerdict {
    Ready,          // as it should be (created, or secured)
    MovedAside,     // the install folder was open to others: moved aside (or removed when empty) and made anew
    OpenToOthers,   // a folder above the install folder (or, for a package's installed folder, that folder
                    // itself) could be changed by an account that is not trusted
    CannotMoveAside,
    ReparsePoint,   // a component of the path is a link or junction
    ForeignOwner,   // a folder of ours, or one above it, is owned by an account that is not an administrator
    NotAFolder,     // a component of the path is a file
    NotAPlainFile,  // a block-list file is a link or has more than one name
    CannotOpen,     // a component cannot be opened (or the path is not a local folder path)
    CannotCreate,
    CannotReplace,  // an earlier copy of a file setup writes cannot be deleted (in use)
    CannotSecure,   // the DACL or owner could not be written
};

struct FolderOutcome {
    FolderOutcome() = default;
    FolderOutcome(FolderVerdict v, Text p, Text a = Text()) : verdict(v), path(std::move(p)), aside(std::move(a)) {}
    FolderVerdict verdict = FolderVerdict::Ready;
    Text path;   // the object the verdict is about
    Text aside;  // MovedAside: where the old folder went (empty when it was empty and is gone)
    bool ok() const { return verdict == FolderVerdict::Ready || verdict == FolderVerdict::MovedAside; }
};

// A one-line English description for the installer's message and log.
Text DescribeOutcome(const FolderOutcome& outcome);

// The DACLs the installer writes.
std::vector<AccessEntry> MakerFolderAcl();    // the maker's folder above the data folder
std::vector<AccessEntry> DataFolderAcl();     // list and add files; files read, written and replaced
std::vector<AccessEntry> DataFileAcl();       // Kestrix.csv and its backup
std::vector<AccessEntry> InstallFolderAcl();  // read and run only

// Where a folder lies on the install path.
enum class FolderRole {
    Above,    // a folder above the install folder (the drive's root included)
    Install,  // the install folder itself, whose rights its files inherit
};

// Whether an account that is not in trusted could change the folder, or
// rename or replace it: it owns the folder (an owner may always rewrite the
// DACL), the DACL is NULL, or an entry that is not a deny lets it write or
// add files, delete, delete what the folder holds, or change the rights or
// the owner. In the install folder adding subfolders and writing attributes
// count too, and so do the entries only what is made inside inherits; above
// it only the entries that apply to the folder itself. Conditional (callback)
// and object entries count whatever their condition, CREATOR OWNER and OWNER
// RIGHTS are accounts like any other, and an entry of a type not known here
// counts as granting everything.
bool OthersCanChange(const ObjectSecurity& security, const std::vector<Text>& trusted, FolderRole role);

class SecuredFolders {
public:
    // trustedOwners: the SIDs an owner of our folders may have (the
    // administrators, SYSTEM, TrustedInstaller, the installing account).
    SecuredFolders(IFileSecurity& security, std::vector<Text> trustedOwners)
        : security_(security), trustedOwners_(std::move(trustedOwners)) {}

    // base (the all-users data folder, which the system owns) + own (for
    // example "VELMOR\Kestrix"): creates what is missing, secures the
    // maker's folder and the data folder, and of what an earlier
    // installation left there secures Kestrix.csv and Kestrix.csv.bak only.
    FolderOutcome PrepareDataFolder(const Text& base, const Text& own);

    // Checks every folder of the path (OthersCanChange, with the trusted
    // owners as the trusted accounts) and creates the install folder with
    // its rights given at creation (its missing parents inherit as usual).
    // A folder above it that others could change is refused. An existing
    // install folder others could change is never reused: whatever they
    // put there, such as a DLL the programs would load, stays in it, so it
    // is moved aside within its parent (or removed when empty) and made anew.
    FolderOutcome PrepareInstallFolder(const Text& folder);

    // For a package that has already written its files into the install
    // folder: checks the path as PrepareInstallFolder does, but never moves
    // the folder aside nor makes it anew (that would set the installed files
    // aside and leave an empty folder behind). A folder that passes is given
    // the rights a new install folder gets, through the held handle; one that
    // others could change (OpenToOthers) or that is missing is refused and
    // left as it is, so that the package rolls back.
    FolderOutcome SecureInstalledFolder(const Text& folder);

    // PrepareInstallFolder, then copies each of files (bare names) from the
    // staging folder into it, replacing setup's earlier copies, while every
    // folder of the checked path is still held open without sharing
    // deletion, so that none of them can be renamed or replaced in between.
    FolderOutcome InstallFiles(const Text& folder, const Text& staging, const std::vector<Text>& files);

    // The uninstaller's removal of the block list: the two files, then the
    // data folder and the maker's folder when empty, only along a path
    // that passes the same checks.
    FolderOutcome RemoveBlockList(const Text& base, const Text& own);

private:
    struct Walk;
    FolderOutcome OpenFolder(const Text& path, std::uint32_t access, std::uint32_t share, OwnedObject* object,
                             ObjectSecurity* security);
    FolderOutcome OpenPath(const Text& path, std::size_t ownFrom, Walk* walk, bool create,
                           const std::vector<std::vector<AccessEntry>>* createAcls);
    bool IsTrustedOwner(const Text& sid) const;
    // ForeignOwner for the first of our folders an ordinary account owns.
    FolderOutcome CheckOwners(const Walk& walk, std::size_t ownFrom) const;
    FolderOutcome SecureFile(const Text& path);
    FolderOutcome PrepareInstallChain(const Text& path, Walk* walk);
    FolderOutcome RenewInstallFolder(const Text& path, Walk* walk);

    IFileSecurity& security_;
    std::vector<Text> trustedOwners_;
};

}  // namespace kx
