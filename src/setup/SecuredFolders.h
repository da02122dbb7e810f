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
    Hardened,       // the install folder was open to ordinary accounts; its DACL and owner were replaced
    NotOnlyOurs,    // the install folder was open to ordinary accounts and holds files setup did not put there
    ReparsePoint,   // a component of the path is a link or junction
    ForeignOwner,   // a folder of ours, or one above it, is owned by an account that is not an administrator
    NotAFolder,     // a component of the path is a file
    NotAPlainFile,  // a block-list file is a link or has more than one name
    CannotOpen,     // a component cannot be opened (or the path is not a local folder path)
    CannotCreate,
    CannotSecure,   // the DACL or owner could not be written
};

struct FolderOutcome {
    FolderVerdict verdict = FolderVerdict::Ready;
    Text path;  // the object the verdict is about
    bool ok() const { return verdict == FolderVerdict::Ready || verdict == FolderVerdict::Hardened; }
};

// A one-line English description for the installer's message and log.
Text DescribeOutcome(const FolderOutcome& outcome);

// The DACLs the installer writes.
std::vector<AccessEntry> MakerFolderAcl();    // the maker's folder above the data folder
std::vector<AccessEntry> DataFolderAcl();     // list and add files; files read, written and replaced
std::vector<AccessEntry> DataFileAcl();       // Kestrix.csv and its backup
std::vector<AccessEntry> InstallFolderAcl();  // read and run only

// Whether an allow entry lets Users, Authenticated Users, Everyone or
// INTERACTIVE write, append, delete or change the rights (a NULL DACL too).
bool OrdinaryAccountsCanWrite(const ObjectSecurity& security);

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

    // Creates the install folder (its missing parents inherit as usual), or
    // hardens an existing one that ordinary accounts could write, provided
    // it holds nothing but setup's own files (which setup then writes anew):
    // anything else there, such as a planted DLL, would be loaded by the
    // logon program of every account, and new rights would not undo it.
    FolderOutcome PrepareInstallFolder(const Text& folder, const std::vector<Text>& setupFiles = {});

    // The uninstaller's removal of the block list: the two files, then the
    // data folder and the maker's folder when empty, only along a path
    // that passes the same checks.
    FolderOutcome RemoveBlockList(const Text& base, const Text& own);

private:
    struct Walk;
    FolderOutcome OpenPath(const Text& path, std::size_t ownFrom, Walk* walk, bool create,
                           const std::vector<std::vector<AccessEntry>>* createAcls);
    bool IsTrustedOwner(const Text& sid) const;
    // ForeignOwner for the first of our folders an ordinary account owns.
    FolderOutcome CheckOwners(const Walk& walk, std::size_t ownFrom) const;
    FolderOutcome SecureFile(const Text& path);

    IFileSecurity& security_;
    std::vector<Text> trustedOwners_;
};

}  // namespace kx
