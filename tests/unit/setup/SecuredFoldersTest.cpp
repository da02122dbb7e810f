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
const Text kVelmor = u"C:\\Program Files\\VELMOR";
const std::vector<Text> kTrusted = {kSidAdministrators, kSidLocalSystem, kSidTrustedInstaller};
constexpr std::uint32_t kReadRun = w32::kFileGenericRead | w32::kFileGenericExecute;

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
    FolderOutcome Install() { return folders.PrepareInstallFolder(kInstall + u"\\"); }
    const std::vector<Text> kSetupFiles = {u"KestrixTray.exe", u"Kestrix.exe", u"Uninstall.exe"};

    sim::SimWorld world;
    SimFileSecurity fs{world};
    SecuredFolders folders{fs, kTrusted};
};

TEST(DataFolder, AFreshFolderIsMadeByAdministratorsWithRightsForListingAndAddingFilesOnly) {
    Rig rig;
    const FolderOutcome outcome = rig.Data();
    ASSERT_EQ(outcome.verdict, FolderVerdict::Ready) << sim::U8(DescribeOutcome(outcome));

    const ObjectSecurity& maker = rig.SecurityOf(kMaker);
    EXPECT_EQ(maker.owner, kSidAdministrators);
    EXPECT_TRUE(maker.daclProtected) << "ordinary accounts' folder-making rights from above are not inherited";
    EXPECT_FALSE(OthersCanChange(maker, kTrusted, FolderRole::Above));

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

// The rights Windows itself gives the drive's root and Program Files, which
// every installation meets: CREATOR OWNER and "modify" only for what is made
// inside, and adding subfolders (not files) to the root.
void WindowsDefaults(Rig& r) {
    r.fs.Find(u"C:\\")->security.dacl = {Allow(kSidAdministrators, w32::kFileAllAccess, kCi | kOi),
                                          Allow(kSidLocalSystem, w32::kFileAllAccess, kCi | kOi),
                                          Allow(kSidAuthenticatedUsers, 0x1301BF, kCi | kOi | kIo),
                                          Allow(kSidAuthenticatedUsers, w32::kFileAppendData)};
    r.fs.Find(u"C:\\Program Files")->security.dacl.push_back(Allow(kSidCreatorOwner, w32::kGenericAll, kCi | kOi | kIo));
}

TEST(InstallFolder, ANewFolderIsMadeReadAndRunOnlyForOrdinaryAccounts) {
    Rig rig;
    WindowsDefaults(rig);
    const FolderOutcome outcome = rig.Install();
    ASSERT_EQ(outcome.verdict, FolderVerdict::Ready) << sim::U8(DescribeOutcome(outcome));
    const ObjectSecurity& s = rig.SecurityOf(kInstall);
    EXPECT_EQ(s.owner, kSidAdministrators);
    EXPECT_TRUE(s.daclProtected);
    EXPECT_FALSE(OthersCanChange(s, kTrusted, FolderRole::Install));
    EXPECT_EQ(OnNewFiles(s, kSidUsers), w32::kFileGenericRead | w32::kFileGenericExecute);
    // The maker's folder in between inherits as any folder there would.
    EXPECT_FALSE(rig.SecurityOf(kVelmor).daclProtected);
}

TEST(InstallFolder, NoFolderOfThePathIsReadyWhenAnAccountOtherThanAdministratorsCouldChangeIt) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> make;
        FolderVerdict verdict;
        Text path;
    };
    // An earlier install folder with these rights (and read and run for users).
    auto earlier = [](Rig& r, std::vector<AccessEntry> more, const Text& owner = kSidAdministrators) {
        r.Folder(kVelmor);
        SimSecuredObject& folder = r.Folder(kInstall, owner);
        folder.security.dacl = {Allow(kSidUsers, kReadRun, kCi | kOi)};
        folder.security.dacl.insert(folder.security.dacl.end(), more.begin(), more.end());
    };
    const AccessEntry conditional{w32::kAccessAllowedCallbackAceType, kCi | kOi, 0x1301BF, kSidEveryone};
    const std::vector<Case> cases = {
        {"installed before, read and run for users", [&](Rig& r) { earlier(r, {}); }, FolderVerdict::Ready, kInstall},
        {"Windows' own rights above it", [&](Rig& r) {
             WindowsDefaults(r);
             earlier(r, {});
         }, FolderVerdict::Ready,
         kInstall},
        {"users are denied writing, never allowed it",
         [&](Rig& r) { earlier(r, {AccessEntry{w32::kAccessDeniedAceType, 0, w32::kFileWriteData, kSidUsers}}); },
         FolderVerdict::Ready, kInstall},
        {"a named account with modify", [&](Rig& r) { earlier(r, {Allow(kUser, 0x1301BF, kCi | kOi)}); },
         FolderVerdict::MovedAside, kInstall},
        {"a conditional entry", [&](Rig& r) { earlier(r, {conditional}); }, FolderVerdict::MovedAside, kInstall},
        {"CREATOR OWNER, for what is made inside",
         [&](Rig& r) { earlier(r, {Allow(kSidCreatorOwner, w32::kGenericAll, kCi | kOi | kIo)}); },
         FolderVerdict::MovedAside, kInstall},
        {"users may add subfolders", [&](Rig& r) { earlier(r, {Allow(kSidUsers, w32::kFileAppendData)}); },
         FolderVerdict::MovedAside, kInstall},
        {"authenticated users may change new files (inherit-only)",
         [&](Rig& r) { earlier(r, {Allow(kSidAuthenticatedUsers, 0x1301BF, kCi | kOi | kIo)}); },
         FolderVerdict::MovedAside, kInstall},
        {"an entry of a type not known", [&](Rig& r) { earlier(r, {AccessEntry{0x15, 0, 0, u""}}); },
         FolderVerdict::MovedAside, kInstall},
        {"a NULL DACL",
         [&](Rig& r) {
             earlier(r, {});
             r.fs.Find(kInstall)->security.hasDacl = false;
         },
         FolderVerdict::MovedAside, kInstall},
        {"a user owns it", [&](Rig& r) { earlier(r, {}, kUser); }, FolderVerdict::MovedAside, kInstall},
        {"authenticated users can delete a parent",
         [&](Rig& r) {
             earlier(r, {});
             r.fs.Find(kVelmor)->security.dacl = {Allow(kSidAuthenticatedUsers, w32::kDelete)};
         },
         FolderVerdict::OpenToOthers, kVelmor},
        {"delete-child on a grandparent",
         [&](Rig& r) {
             earlier(r, {});
             r.fs.Find(u"C:\\Program Files")->security.dacl.push_back(Allow(kSidUsers, w32::kFileDeleteChild));
         },
         FolderVerdict::OpenToOthers, u"C:\\Program Files"},
        {"a named account may add files to the root",
         [&](Rig& r) { r.fs.Find(u"C:\\")->security.dacl = {Allow(kUser, w32::kFileWriteData)}; },
         FolderVerdict::OpenToOthers, u"C:\\"},
        {"a conditional entry on a parent",
         [&](Rig& r) {
             earlier(r, {});
             r.fs.Find(kVelmor)->security.dacl = {AccessEntry{w32::kAccessAllowedCallbackAceType, 0, w32::kWriteDac,
                                                              kSidInteractive}};
         },
         FolderVerdict::OpenToOthers, kVelmor},
        {"CREATOR OWNER on a parent itself",
         [&](Rig& r) {
             earlier(r, {});
             r.fs.Find(kVelmor)->security.dacl = {Allow(kSidCreatorOwner, w32::kGenericAll)};
         },
         FolderVerdict::OpenToOthers, kVelmor},
        {"an ordinary account's folder above it, which it could rename",
         [&](Rig& r) { r.Folder(kVelmor, kUser).security.dacl = {Allow(kSidAdministrators, w32::kFileAllAccess)}; },
         FolderVerdict::ForeignOwner, kVelmor},
        {"the folder is a junction",
         [&](Rig& r) {
             earlier(r, {Allow(kSidUsers, w32::kFileAllAccess)}, kUser);
             r.fs.Find(kInstall)->reparsePoint = true;
         },
         FolderVerdict::ReparsePoint, kInstall},
        {"its parent is a junction", [&](Rig& r) { r.Folder(kVelmor, kUser).reparsePoint = true; },
         FolderVerdict::ReparsePoint, kVelmor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.make(rig);
        rig.File(kInstall + u"\\KestrixTray.exe");
        const FolderOutcome outcome = rig.Install();
        EXPECT_EQ(outcome.verdict, c.verdict) << sim::U8(DescribeOutcome(outcome));
        EXPECT_EQ(outcome.path, c.path);
        EXPECT_TRUE(rig.fs.securedPaths.empty()) << "no folder is changed in place";
        if (c.verdict == FolderVerdict::MovedAside) {
            const ObjectSecurity& s = rig.SecurityOf(kInstall);
            EXPECT_EQ(s.owner, kSidAdministrators);
            EXPECT_TRUE(s.daclProtected);
            EXPECT_FALSE(OthersCanChange(s, kTrusted, FolderRole::Install));
            EXPECT_EQ(rig.fs.Find(kInstall + u"\\KestrixTray.exe"), nullptr) << "the new folder starts empty";
            EXPECT_EQ(outcome.aside, kInstall + u".unsafe");
        } else {
            EXPECT_TRUE(rig.fs.moves.empty());
            EXPECT_NE(rig.fs.Find(kInstall + u"\\KestrixTray.exe"), nullptr);
        }
    }
}

TEST(InstallFolder, AFolderMovedAsideKeepsWhatWasPlantedAndAnEmptyOneIsRemoved) {
    const std::vector<AccessEntry> open = {Allow(kSidUsers, 0x1301BF, kCi | kOi)};
    {
        Rig rig;
        rig.Folder(kVelmor);
        rig.Folder(kInstall).security.dacl = open;
        rig.Folder(kInstall + u".unsafe");  // left by an earlier run
        rig.File(kInstall + u"\\version.dll", kUser);
        const FolderOutcome outcome = rig.Install();
        ASSERT_EQ(outcome.verdict, FolderVerdict::MovedAside);
        EXPECT_EQ(outcome.aside, kInstall + u".unsafe-2");
        EXPECT_NE(rig.fs.Find(outcome.aside + u"\\version.dll"), nullptr);
        std::vector<Text> names;
        ASSERT_TRUE(rig.fs.ListFolder(kInstall, &names));
        EXPECT_TRUE(names.empty());
        EXPECT_NE(sim::U8(DescribeOutcome(outcome)).find("moved aside to"), std::string::npos);
    }
    {
        SCOPED_TRACE("an empty folder");
        Rig rig;
        rig.Folder(kVelmor);
        rig.Folder(kInstall).security.dacl = open;
        const FolderOutcome outcome = rig.Install();
        EXPECT_EQ(outcome.verdict, FolderVerdict::MovedAside);
        EXPECT_TRUE(outcome.aside.empty());
        EXPECT_EQ(rig.fs.Find(kInstall + u".unsafe"), nullptr);
    }
    {
        SCOPED_TRACE("a folder that cannot be moved");
        Rig rig;
        rig.Folder(kVelmor);
        SimSecuredObject& folder = rig.Folder(kInstall);
        folder.security.dacl = open;
        folder.refuseMove = true;
        EXPECT_EQ(rig.Install().verdict, FolderVerdict::CannotMoveAside);
        EXPECT_EQ(rig.fs.Find(kInstall)->security.dacl, open) << "left as it was";
    }
}

TEST(InstallFolder, FilesAreWrittenWhileEveryFolderOfThePathIsHeldAndOnlyIntoAFolderThatPassed) {
    const Text stage = u"C:\\Temp\\ns1.tmp";
    auto staged = [&](Rig& r) {
        r.Folder(u"C:\\Temp");
        r.Folder(stage);
        for (const Text& name : r.kSetupFiles) r.File(stage + u"\\" + name);
    };
    {
        SCOPED_TRACE("an earlier installation's folder, others could change");
        Rig rig;
        staged(rig);
        rig.Folder(kVelmor);
        rig.Folder(kInstall).security.dacl = {Allow(kUser, 0x1301BF, kCi | kOi)};
        rig.File(kInstall + u"\\KestrixTray.exe", kUser);
        const FolderOutcome outcome = rig.folders.InstallFiles(kInstall, stage, rig.kSetupFiles);
        ASSERT_EQ(outcome.verdict, FolderVerdict::MovedAside) << sim::U8(DescribeOutcome(outcome));
        ASSERT_EQ(rig.fs.copies.size(), rig.kSetupFiles.size());
        for (const auto& copy : rig.fs.copies) {
            EXPECT_TRUE(copy.chainHeld) << sim::U8(copy.to);
            // What the files get is the new folder's: read and run for users.
            EXPECT_EQ(OnItself(rig.SecurityOf(copy.to), kSidUsers), kReadRun);
        }
        EXPECT_EQ(rig.fs.Find(kInstall + u"\\KestrixTray.exe")->security.owner, kSidAdministrators);
    }
    {
        SCOPED_TRACE("setup's own earlier copies are replaced");
        Rig rig;
        staged(rig);
        ASSERT_TRUE(rig.Install().ok());
        rig.File(kInstall + u"\\Kestrix.exe").security.dacl = {Allow(kSidAdministrators, 1)};
        EXPECT_EQ(rig.folders.InstallFiles(kInstall, stage, rig.kSetupFiles).verdict, FolderVerdict::Ready);
        EXPECT_EQ(rig.fs.copies.size(), rig.kSetupFiles.size());
        EXPECT_EQ(OnItself(rig.SecurityOf(kInstall + u"\\Kestrix.exe"), kSidUsers), kReadRun);
    }
    struct Refusal {
        const char* name;
        std::function<void(Rig&)> make;
        std::vector<Text> files;
    };
    const std::vector<Text> all = {u"KestrixTray.exe", u"Kestrix.exe", u"Uninstall.exe"};
    for (const Refusal& c : std::vector<Refusal>{
             {"a parent others can change",
              [](Rig& r) { r.Folder(kVelmor).security.dacl = {Allow(kSidUsers, w32::kFileWriteData)}; }, all},
             {"a junction on the way", [](Rig& r) { r.Folder(kVelmor).reparsePoint = true; }, all},
             {"a name that climbs out", [](Rig&) {}, {u"..\\KestrixTray.exe"}},
         }) {
        SCOPED_TRACE(c.name);
        Rig rig;
        staged(rig);
        c.make(rig);
        EXPECT_FALSE(rig.folders.InstallFiles(kInstall, stage, c.files).ok());
        EXPECT_TRUE(rig.fs.copies.empty());
    }
}

// The package judges the install folder after it has written its files into
// it: what passes is secured in place, what does not is refused, and nothing
// is ever moved aside, which would take the installed files with it.
TEST(InstalledFolder, IsSecuredInPlaceOrRefusedAndNeverMovedAside) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> make;
        FolderVerdict verdict;
        Text path;
    };
    constexpr std::uint8_t kInherited = w32::kInheritedAce;
    // What a folder made under Program Files by the installer inherits.
    const std::vector<AccessEntry> fromProgramFiles = {
        Allow(kSidAdministrators, w32::kFileAllAccess, kCi | kOi | kInherited),
        Allow(kSidUsers, kReadRun, kCi | kOi | kInherited),
        Allow(kSidCreatorOwner, w32::kGenericAll, kCi | kOi | kIo | kInherited)};
    auto installed = [&](Rig& r, std::vector<AccessEntry> more, const Text& owner = kSidAdministrators) {
        WindowsDefaults(r);
        r.Folder(kVelmor).security.dacl = fromProgramFiles;
        SimSecuredObject& folder = r.Folder(kInstall, owner);
        folder.security.dacl = fromProgramFiles;
        folder.security.dacl.insert(folder.security.dacl.end(), more.begin(), more.end());
        r.File(kInstall + u"\\KestrixTray.exe");
    };
    const std::vector<Case> cases = {
        {"just made under Program Files, CREATOR OWNER inherited", [&](Rig& r) { installed(r, {}); },
         FolderVerdict::Ready, kInstall},
        {"a named account with modify", [&](Rig& r) { installed(r, {Allow(kUser, 0x1301BF, kCi | kOi)}); },
         FolderVerdict::OpenToOthers, kInstall},
        {"users may add files, so CREATOR OWNER would reach them",
         [&](Rig& r) { installed(r, {Allow(kSidUsers, w32::kFileWriteData)}); }, FolderVerdict::OpenToOthers,
         kInstall},
        {"CREATOR OWNER on the folder itself",
         [&](Rig& r) { installed(r, {Allow(kSidCreatorOwner, w32::kFileWriteData)}); }, FolderVerdict::OpenToOthers,
         kInstall},
        {"a user owns it", [&](Rig& r) { installed(r, {}, kUser); }, FolderVerdict::OpenToOthers, kInstall},
        {"a parent others can change",
         [&](Rig& r) {
             installed(r, {});
             r.fs.Find(kVelmor)->security.dacl.push_back(Allow(kSidUsers, w32::kFileDeleteChild));
         },
         FolderVerdict::OpenToOthers, kVelmor},
        {"the folder is a junction",
         [&](Rig& r) {
             installed(r, {});
             r.fs.Find(kInstall)->reparsePoint = true;
         },
         FolderVerdict::ReparsePoint, kInstall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.make(rig);
        const std::vector<AccessEntry> before = rig.SecurityOf(kInstall).dacl;
        const FolderOutcome outcome = rig.folders.SecureInstalledFolder(kInstall + u"\\");
        EXPECT_EQ(outcome.verdict, c.verdict) << sim::U8(DescribeOutcome(outcome));
        EXPECT_EQ(outcome.path, c.path);
        EXPECT_TRUE(rig.fs.moves.empty());
        EXPECT_TRUE(rig.fs.createdFolders.empty());
        EXPECT_NE(rig.fs.Find(kInstall + u"\\KestrixTray.exe"), nullptr) << "the installed files stay";
        const ObjectSecurity& s = rig.SecurityOf(kInstall);
        if (c.verdict == FolderVerdict::Ready) {
            EXPECT_EQ(s.owner, kSidAdministrators);
            EXPECT_TRUE(s.daclProtected);
            EXPECT_EQ(s.dacl, InstallFolderAcl());
        } else {
            EXPECT_TRUE(rig.fs.securedPaths.empty());
            EXPECT_EQ(s.dacl, before) << "left as it was";
        }
    }
    {
        SCOPED_TRACE("a folder that is not there is not made");
        Rig rig;
        WindowsDefaults(rig);
        EXPECT_EQ(rig.folders.SecureInstalledFolder(kInstall).verdict, FolderVerdict::CannotOpen);
        EXPECT_TRUE(rig.fs.createdFolders.empty());
    }
}

TEST(InstallFolder, APathThatIsNoLocalFolderIsRefused) {
    for (const Text& path : {Text(u"\\\\server\\share\\Kestrix"), Text(u"C:\\Program Files\\..\\ProgramData\\x"),
                             Text(u"Kestrix"), Text(u"C:\\")}) {
        Rig rig;
        EXPECT_EQ(rig.folders.PrepareInstallFolder(path).verdict, FolderVerdict::CannotOpen) << sim::U8(path);
        EXPECT_TRUE(rig.fs.createdFolders.empty());
    }
}

}  // namespace
}  // namespace kx
