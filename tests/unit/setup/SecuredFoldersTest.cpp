#include <gtest/gtest.h>

#include <functional>

#include "setup/SecuredFolders.h"
#include "sim/SimFileSecurity.h"

namespace kx {
namespace {

using sim::SimFileSecurity;
using sim::SimSecuredObject;

const Text kUser = u"S-1-5-21-1000-2000-3000-1001";  // an ordinary account
const Text kProgramData = u"C:\\ProgramData";
const Text kMaker = u"C:\\ProgramData\\VELMOR";
const Text kData = u"C:\\ProgramData\\VELMOR\\Kestrix";
const Text kList = kData + u"\\Kestrix.csv";
const Text kBackup = kData + u"\\Kestrix.csv.bak";
const Text kInstall = u"C:\\Program Files\\VELMOR\\Kestrix";

constexpr std::uint8_t kCi = w32::kContainerInheritAce;
constexpr std::uint8_t kOi = w32::kObjectInheritAce;
constexpr std::uint8_t kIo = w32::kInheritOnlyAce;

AccessEntry Allow(const Text& sid, std::uint32_t mask, std::uint8_t flags = 0) {
    return AccessEntry{w32::kAccessAllowedAceType, flags, mask, sid};
}

// The rights an account's group gets on the object itself, and on the files
// that will be made inside it, from the allow entries of a DACL.
std::uint32_t OnItself(const ObjectSecurity& s, const Text& sid) {
    std::uint32_t mask = 0;
    for (const AccessEntry& e : s.dacl) {
        if (e.sid == sid && e.type == w32::kAccessAllowedAceType && (e.flags & kIo) == 0) mask |= e.mask;
    }
    return mask;
}
std::uint32_t OnNewFiles(const ObjectSecurity& s, const Text& sid) {
    std::uint32_t mask = 0;
    for (const AccessEntry& e : s.dacl) {
        if (e.sid == sid && e.type == w32::kAccessAllowedAceType && (e.flags & kOi) != 0) mask |= e.mask;
    }
    return mask;
}

struct Rig {
    Rig() {
        // A drive as Windows sets it up: C:\ and the folders the system owns.
        Folder(u"C:\\", kSidTrustedInstaller);
        SimSecuredObject& programData = Folder(kProgramData, kSidLocalSystem);
        // Ordinary accounts may make folders in the all-users data folder.
        programData.security.dacl = {Allow(kSidLocalSystem, w32::kFileAllAccess, kCi | kOi),
                                     Allow(kSidAdministrators, w32::kFileAllAccess, kCi | kOi),
                                     Allow(kSidUsers, w32::kFileGenericRead | w32::kFileGenericExecute, kCi | kOi),
                                     Allow(kSidUsers, 0x116, kCi)};
        SimSecuredObject& programFiles = Folder(u"C:\\Program Files", kSidTrustedInstaller);
        programFiles.security.dacl = {Allow(kSidAdministrators, w32::kFileAllAccess, kCi | kOi),
                                      Allow(kSidUsers, w32::kFileGenericRead | w32::kFileGenericExecute, kCi | kOi)};
    }
    ~Rig() { EXPECT_EQ(world.handles.OpenCount(), 0u) << "a handle stays open"; }

    SimSecuredObject& Folder(const Text& path, const Text& owner = kSidAdministrators) { return fs.Folder(path, owner); }
    SimSecuredObject& File(const Text& path, const Text& owner = kSidAdministrators) { return fs.File(path, owner); }
    const ObjectSecurity& SecurityOf(const Text& path) { return fs.Find(path)->security; }

    // What an earlier installation left: the folders, the user's list and its backup.
    void EarlierInstallation() {
        Folder(kMaker);
        SimSecuredObject& data = Folder(kData);
        data.security.dacl = {Allow(kSidAdministrators, w32::kFileAllAccess, kCi | kOi),
                              Allow(kSidUsers, 0x1301BF, kCi | kOi)};  // modify, inherited by everything
        File(kList, kUser).security.dacl = {Allow(kSidUsers, 0x1301BF, w32::kInheritedAce)};
        File(kBackup, kUser);
    }

    FolderOutcome Data() { return folders.PrepareDataFolder(kProgramData + u"\\", u"VELMOR\\Kestrix"); }
    FolderOutcome Install() { return folders.PrepareInstallFolder(kInstall + u"\\", kSetupFiles); }
    const std::vector<Text> kSetupFiles = {u"KestrixTray.exe", u"Kestrix.exe", u"Uninstall.exe"};

    sim::SimWorld world;
    SimFileSecurity fs{world};
    SecuredFolders folders{fs, {kSidAdministrators, kSidLocalSystem, kSidTrustedInstaller}};
};

TEST(DataFolder, AFreshFolderIsMadeByAdministratorsWithRightsForListingAndAddingFilesOnly) {
    Rig rig;
    const FolderOutcome outcome = rig.Data();
    ASSERT_EQ(outcome.verdict, FolderVerdict::Ready) << sim::U8(DescribeOutcome(outcome));

    const ObjectSecurity& maker = rig.SecurityOf(kMaker);
    EXPECT_EQ(maker.owner, kSidAdministrators);
    EXPECT_TRUE(maker.daclProtected) << "ordinary accounts' folder-making rights from above are not inherited";
    EXPECT_FALSE(OrdinaryAccountsCanWrite(maker));

    const ObjectSecurity& data = rig.SecurityOf(kData);
    EXPECT_EQ(data.owner, kSidAdministrators);
    EXPECT_TRUE(data.daclProtected);
    const std::uint32_t folder = OnItself(data, kSidUsers);
    EXPECT_EQ(folder & (w32::kFileListDirectory | w32::kFileWriteData | w32::kFileTraverse),
              w32::kFileListDirectory | w32::kFileWriteData | w32::kFileTraverse);
    EXPECT_EQ(folder & (w32::kFileAppendData | w32::kFileDeleteChild | w32::kDelete | w32::kWriteDac | w32::kWriteOwner),
              0u)
        << "no subfolders, no deleting or renaming through the folder, no changing its rights";
    const std::uint32_t files = OnNewFiles(data, kSidUsers);
    EXPECT_EQ(files & (w32::kFileGenericRead | w32::kFileGenericWrite | w32::kDelete),
              w32::kFileGenericRead | w32::kFileGenericWrite | w32::kDelete)
        << "a save replaces a file another account wrote";
    EXPECT_EQ(files & (w32::kWriteDac | w32::kWriteOwner), 0u);
    // Made with its rights in place, not secured afterwards.
    EXPECT_EQ(rig.fs.createdFolders, (std::vector<Text>{sim::Upper(kMaker), sim::Upper(kData)}));
}

TEST(DataFolder, APlantedLinkOrAForeignFolderIsRefusedAndNothingIsSecured) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> plant;
        FolderVerdict verdict;
        Text path;
    };
    const std::vector<Case> cases = {
        {"the data folder is a junction",
         [](Rig& r) {
             r.Folder(kMaker);
             r.Folder(kData).reparsePoint = true;
         },
         FolderVerdict::ReparsePoint, kData},
        {"the maker's folder is a junction", [](Rig& r) { r.Folder(kMaker, kUser).reparsePoint = true; },
         FolderVerdict::ReparsePoint, kMaker},
        {"the all-users folder itself is a link", [](Rig& r) { r.fs.Find(kProgramData)->reparsePoint = true; },
         FolderVerdict::ReparsePoint, kProgramData},
        {"a user made the data folder first",
         [](Rig& r) {
             r.Folder(kMaker);
             r.Folder(kData, kUser);
         },
         FolderVerdict::ForeignOwner, kData},
        {"a user made the maker's folder first", [](Rig& r) { r.Folder(kMaker, kUser); }, FolderVerdict::ForeignOwner,
         kMaker},
        {"the data folder is a file",
         [](Rig& r) {
             r.Folder(kMaker);
             r.File(kData);
         },
         FolderVerdict::NotAFolder, kData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.plant(rig);
        const auto before = rig.fs.objects;
        const FolderOutcome outcome = rig.Data();
        EXPECT_EQ(outcome.verdict, c.verdict) << sim::U8(DescribeOutcome(outcome));
        EXPECT_EQ(outcome.path, c.path);
        EXPECT_FALSE(outcome.ok());
        EXPECT_TRUE(rig.fs.securedPaths.empty()) << "no right was granted anywhere";
        for (const auto& [path, object] : before) {
            EXPECT_EQ(rig.fs.objects.at(path).security.dacl, object.security.dacl) << sim::U8(path);
        }
    }
}

TEST(DataFolder, AnEarlierFolderIsSecuredAndOnlyTheListAndItsBackupAreCarriedOver) {
    Rig rig;
    rig.EarlierInstallation();
    // Left by a user while the old rights allowed it: a file and a folder of
    // their own, which the new rights must not reach.
    rig.File(kData + u"\\notes.txt", kUser).security.dacl = {Allow(kUser, w32::kFileAllAccess)};
    rig.Folder(kData + u"\\planted", kUser).security.dacl = {Allow(kUser, w32::kFileAllAccess, kCi | kOi)};

    const FolderOutcome outcome = rig.Data();
    ASSERT_EQ(outcome.verdict, FolderVerdict::Ready) << sim::U8(DescribeOutcome(outcome));
    EXPECT_EQ(rig.fs.securedPaths,
              (std::vector<Text>{sim::Upper(kMaker), sim::Upper(kData), sim::Upper(kList), sim::Upper(kBackup)}));
    EXPECT_EQ(rig.SecurityOf(kData).owner, kSidAdministrators);
    EXPECT_EQ(OnItself(rig.SecurityOf(kData), kSidUsers) & (w32::kDelete | w32::kFileAppendData | w32::kFileDeleteChild),
              0u);
    for (const Text& file : {kList, kBackup}) {
        const ObjectSecurity& s = rig.SecurityOf(file);
        EXPECT_TRUE(s.daclProtected);
        EXPECT_EQ(OnItself(s, kSidUsers), w32::kFileGenericRead | w32::kFileGenericWrite | w32::kDelete);
        EXPECT_EQ(s.owner, kUser) << "the file stays its author's";
    }
    EXPECT_EQ(rig.SecurityOf(kData + u"\\notes.txt").dacl, (std::vector<AccessEntry>{Allow(kUser, w32::kFileAllAccess)}));
    EXPECT_EQ(rig.SecurityOf(kData + u"\\planted").dacl,
              (std::vector<AccessEntry>{Allow(kUser, w32::kFileAllAccess, kCi | kOi)}));
}

TEST(DataFolder, AListFileThatIsNotOnePlainFileIsLeftAsItIsAndReported) {
    struct Case {
        const char* name;
        Text path;
        std::function<void(SimSecuredObject&)> make;
    };
    const std::vector<Case> cases = {
        {"a hard link to another file", kList, [](SimSecuredObject& o) { o.links = 2; }},
        {"a symbolic link", kBackup, [](SimSecuredObject& o) { o.reparsePoint = true; }},
        {"a folder", kList, [](SimSecuredObject& o) { o.directory = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.EarlierInstallation();
        c.make(*rig.fs.Find(c.path));
        const std::vector<AccessEntry> before = rig.SecurityOf(c.path).dacl;
        const FolderOutcome outcome = rig.Data();
        EXPECT_EQ(outcome.verdict, FolderVerdict::NotAPlainFile);
        EXPECT_EQ(outcome.path, c.path);
        EXPECT_EQ(rig.SecurityOf(c.path).dacl, before);
        for (const Text& secured : rig.fs.securedPaths) EXPECT_NE(secured, sim::Upper(c.path));
    }
}

TEST(DataFolder, OnlyAFolderBelowTheBaseIsEverMade) {
    for (const Text& own : {Text(u"..\\Windows"), Text(u"VELMOR\\..\\..\\Windows"), Text(u"\\VELMOR"), Text(u"")}) {
        Rig rig;
        EXPECT_EQ(rig.folders.PrepareDataFolder(kProgramData, own).verdict, FolderVerdict::CannotOpen) << sim::U8(own);
        EXPECT_TRUE(rig.fs.createdFolders.empty());
        EXPECT_TRUE(rig.fs.securedPaths.empty());
    }
}

TEST(DataFolder, RightsThatCannotBeWrittenAreReported) {
    Rig rig;
    rig.EarlierInstallation();
    rig.fs.Find(kData)->refuseSecurity = true;
    const FolderOutcome outcome = rig.Data();
    EXPECT_EQ(outcome.verdict, FolderVerdict::CannotSecure);
    EXPECT_EQ(outcome.path, kData);
}

TEST(DataFolder, TheUninstallerRemovesTheListOnlyAlongACheckedPath) {
    {
        Rig rig;
        rig.EarlierInstallation();
        EXPECT_TRUE(rig.folders.RemoveBlockList(kProgramData, u"VELMOR\\Kestrix").ok());
        EXPECT_EQ(rig.fs.Find(kList), nullptr);
        EXPECT_EQ(rig.fs.Find(kMaker), nullptr) << "the emptied folders go too";
    }
    {
        Rig rig;
        rig.EarlierInstallation();
        rig.Folder(kMaker + u"\\Other product");
        EXPECT_TRUE(rig.folders.RemoveBlockList(kProgramData, u"VELMOR\\Kestrix").ok());
        EXPECT_EQ(rig.fs.Find(kData), nullptr);
        EXPECT_NE(rig.fs.Find(kMaker), nullptr) << "a folder that is not empty stays";
    }
    {
        SCOPED_TRACE("the data folder replaced by a junction");
        Rig rig;
        rig.EarlierInstallation();
        rig.fs.Find(kData)->reparsePoint = true;
        EXPECT_EQ(rig.folders.RemoveBlockList(kProgramData, u"VELMOR\\Kestrix").verdict, FolderVerdict::ReparsePoint);
        EXPECT_TRUE(rig.fs.deletedPaths.empty());
    }
    {
        SCOPED_TRACE("nothing there");
        Rig rig;
        EXPECT_TRUE(rig.folders.RemoveBlockList(kProgramData, u"VELMOR\\Kestrix").ok());
        EXPECT_TRUE(rig.fs.deletedPaths.empty());
    }
}

TEST(InstallFolder, ANewFolderIsMadeReadAndRunOnlyForOrdinaryAccounts) {
    Rig rig;
    const FolderOutcome outcome = rig.Install();
    ASSERT_EQ(outcome.verdict, FolderVerdict::Ready) << sim::U8(DescribeOutcome(outcome));
    const ObjectSecurity& s = rig.SecurityOf(kInstall);
    EXPECT_EQ(s.owner, kSidAdministrators);
    EXPECT_TRUE(s.daclProtected);
    EXPECT_FALSE(OrdinaryAccountsCanWrite(s));
    EXPECT_EQ(OnNewFiles(s, kSidUsers), w32::kFileGenericRead | w32::kFileGenericExecute);
    // The maker's folder in between inherits as any folder there would.
    EXPECT_FALSE(rig.SecurityOf(u"C:\\Program Files\\VELMOR").daclProtected);
}

TEST(InstallFolder, AFolderOrdinaryAccountsCanChangeIsHardenedAndALinkIsRefused) {
    const Text kParent = u"C:\\Program Files\\VELMOR";
    struct Case {
        const char* name;
        std::function<void(Rig&)> make;
        FolderVerdict verdict;
        Text path;
    };
    auto existing = [kParent](Rig& r, const Text& owner, std::vector<AccessEntry> dacl) {
        r.Folder(kParent);
        r.Folder(kInstall, owner).security.dacl = std::move(dacl);
    };
    const std::uint32_t readRun = w32::kFileGenericRead | w32::kFileGenericExecute;
    const std::vector<Case> cases = {
        {"installed before, read and run for users",
         [&](Rig& r) { existing(r, kSidAdministrators, {Allow(kSidUsers, readRun, kCi | kOi)}); }, FolderVerdict::Ready,
         kInstall},
        {"users may add files", [&](Rig& r) { existing(r, kSidAdministrators, {Allow(kSidUsers, w32::kFileWriteData)}); },
         FolderVerdict::Hardened, kInstall},
        {"authenticated users may change new files (inherit-only)",
         [&](Rig& r) { existing(r, kSidAdministrators, {Allow(kSidAuthenticatedUsers, 0x1301BF, kCi | kOi | kIo)}); },
         FolderVerdict::Hardened, kInstall},
        {"everyone has full control", [&](Rig& r) { existing(r, kSidAdministrators, {Allow(kSidEveryone, w32::kGenericAll)}); },
         FolderVerdict::Hardened, kInstall},
        {"interactive users may delete", [&](Rig& r) { existing(r, kSidAdministrators, {Allow(kSidInteractive, w32::kDelete)}); },
         FolderVerdict::Hardened, kInstall},
        {"a NULL DACL",
         [&](Rig& r) {
             existing(r, kSidAdministrators, {});
             r.fs.Find(kInstall)->security.hasDacl = false;
         },
         FolderVerdict::Hardened, kInstall},
        {"a user owns it", [&](Rig& r) { existing(r, kUser, {Allow(kSidUsers, readRun, kCi | kOi)}); },
         FolderVerdict::Hardened, kInstall},
        {"users are denied writing, never allowed it",
         [&](Rig& r) {
             existing(r, kSidAdministrators,
                      {AccessEntry{w32::kAccessDeniedAceType, 0, w32::kFileWriteData, kSidUsers}, Allow(kSidUsers, readRun)});
         },
         FolderVerdict::Ready, kInstall},
        {"the folder is a junction",
         [&](Rig& r) {
             existing(r, kUser, {Allow(kSidUsers, w32::kFileAllAccess)});
             r.fs.Find(kInstall)->reparsePoint = true;
         },
         FolderVerdict::ReparsePoint, kInstall},
        {"its parent is a junction", [&](Rig& r) { r.Folder(kParent, kUser).reparsePoint = true; },
         FolderVerdict::ReparsePoint, kParent},
        {"an ordinary account's folder above it, which it could rename",
         [&](Rig& r) { r.Folder(kParent, kUser).security.dacl = {Allow(kSidAdministrators, w32::kFileAllAccess)}; },
         FolderVerdict::ForeignOwner, kParent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.make(rig);
        const FolderOutcome outcome = rig.Install();
        EXPECT_EQ(outcome.verdict, c.verdict) << sim::U8(DescribeOutcome(outcome));
        EXPECT_EQ(outcome.path, c.path);
        if (c.verdict == FolderVerdict::Hardened) {
            const ObjectSecurity& s = rig.SecurityOf(kInstall);
            EXPECT_EQ(s.owner, kSidAdministrators);
            EXPECT_FALSE(OrdinaryAccountsCanWrite(s));
            EXPECT_TRUE(s.daclProtected);
        } else {
            EXPECT_TRUE(rig.fs.securedPaths.empty());
        }
    }
}

TEST(InstallFolder, AnOpenFolderIsHardenedOnlyWhenItHoldsNothingButSetupsFiles) {
    const std::vector<AccessEntry> open = {Allow(kSidUsers, 0x1301BF, kCi | kOi)};
    {
        SCOPED_TRACE("an earlier installation's files, in any case");
        Rig rig;
        rig.Folder(u"C:\\Program Files\\VELMOR");
        rig.Folder(kInstall).security.dacl = open;
        rig.File(kInstall + u"\\KESTRIXTRAY.EXE", kUser);
        rig.File(kInstall + u"\\Uninstall.exe");
        EXPECT_EQ(rig.Install().verdict, FolderVerdict::Hardened);
    }
    for (const Text& planted : {Text(u"version.dll"), Text(u"Kestrix.exe.local"), Text(u"notes")}) {
        SCOPED_TRACE(sim::U8(planted));
        Rig rig;
        rig.Folder(u"C:\\Program Files\\VELMOR");
        rig.Folder(kInstall).security.dacl = open;
        rig.File(kInstall + u"\\KestrixTray.exe");
        rig.File(kInstall + u"\\" + planted, kUser);
        const FolderOutcome outcome = rig.Install();
        EXPECT_EQ(outcome.verdict, FolderVerdict::NotOnlyOurs);
        EXPECT_EQ(sim::Upper(outcome.path), sim::Upper(kInstall + u"\\" + planted));
        EXPECT_TRUE(rig.fs.securedPaths.empty());
    }
    {
        SCOPED_TRACE("a closed folder keeps whatever it holds");
        Rig rig;
        rig.Folder(u"C:\\Program Files\\VELMOR");
        rig.Folder(kInstall).security.dacl = {Allow(kSidUsers, w32::kFileGenericRead | w32::kFileGenericExecute, kCi | kOi)};
        rig.File(kInstall + u"\\readme.txt");
        EXPECT_EQ(rig.Install().verdict, FolderVerdict::Ready);
    }
}

TEST(InstallFolder, AFolderThatCannotBeHardenedOrIsNoLocalPathIsRefused) {
    {
        Rig rig;
        rig.Folder(u"C:\\Program Files\\VELMOR");
        rig.Folder(kInstall, kUser).refuseSecurity = true;
        EXPECT_EQ(rig.Install().verdict, FolderVerdict::CannotSecure);
    }
    for (const Text& path : {Text(u"\\\\server\\share\\Kestrix"), Text(u"C:\\Program Files\\..\\ProgramData\\x"),
                             Text(u"Kestrix"), Text(u"C:\\")}) {
        Rig rig;
        EXPECT_EQ(rig.folders.PrepareInstallFolder(path).verdict, FolderVerdict::CannotOpen) << sim::U8(path);
        EXPECT_TRUE(rig.fs.createdFolders.empty());
    }
}

}  // namespace
}  // namespace kx
