#include <gtest/gtest.h>

#include <functional>

#include "engine/Foreground.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

struct Rig {
    Rig() {
        sim.world.drives = {{u"C:\\", u"\\Device\\HarddiskVolume1", false},
                            {u"D:\\", u"\\Device\\HarddiskVolume10", false}};
    }
    SimPlatform sim;
    InspectionApi api{sim.windows, sim.processes, sim.system, sim.libraries};
};

TEST(Foreground, SnapshotOfTheForegroundWindow) {
    struct Case {
        const char* name;
        std::function<Hwnd(sim::SimWorld&)> arrange;
        ForegroundSnapshot expected;
    };
    const Text longText(300, u'x');
    const Case cases[] = {
        {"a null window", [](sim::SimWorld&) { return Hwnd{0}; }, {u"", u"#", u""}},
        {"a console window",
         [](sim::SimWorld& w) {
             w.AddProcess(300, u"\\Device\\HarddiskVolume1\\Windows\\System32\\cmd.exe");
             return w.AddWindow(u"C:\\Windows\\system32\\cmd.exe", u"ConsoleWindowClass", 300, 3001);
         },
         {u"C:\\Windows\\system32\\cmd.exe", u"#ConsoleWindowClass", u"C:\\Windows\\System32\\cmd.exe"}},
        {"a process that cannot be opened",
         [](sim::SimWorld& w) {
             w.AddProcess(400, u"\\Device\\HarddiskVolume1\\Program Files\\Guard\\guard.exe");
             w.processes[400].grantableRights = 0;
             return w.AddWindow(u"Guard", u"TGuardForm", 400, 4001);
         },
         {u"Guard", u"#TGuardForm", u""}},
        {"a window whose process is gone",
         [](sim::SimWorld& w) { return w.AddWindow(u"Orphan", u"OrphanClass", 999, 9991); },
         {u"Orphan", u"#OrphanClass", u""}},
        {"a caption and a class name of 300 characters",
         [&](sim::SimWorld& w) {
             w.AddProcess(500, u"\\Device\\HarddiskVolume10\\Apps\\long.exe");
             return w.AddWindow(longText, longText, 500, 5001);
         },
         {Text(254, u'x'), u"#" + Text(254, u'x'), u"D:\\Apps\\long.exe"}},
        {"blanks and control characters around the texts",
         [](sim::SimWorld& w) {
             w.AddProcess(600, u"\\Device\\HarddiskVolume1\\Apps\\notes.exe");
             return w.AddWindow(u"  Notes \t", u"\x01NotesClass ", 600, 6001);
         },
         {u"Notes", u"#NotesClass", u"C:\\Apps\\notes.exe"}},
    };
    for (const Case& c : cases) {
        Rig r;
        const Hwnd window = c.arrange(r.sim.world);
        const std::size_t handles = r.sim.world.handles.OpenCount();
        const ForegroundSnapshot snapshot = TakeForegroundSnapshot(r.api, window);
        EXPECT_EQ(snapshot.caption, c.expected.caption) << c.name;
        EXPECT_EQ(snapshot.classKey, c.expected.classKey) << c.name;
        EXPECT_EQ(snapshot.imagePath, c.expected.imagePath) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), handles) << c.name;
        EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u) << c.name;
    }
}

TEST(Foreground, RightsAndPathQueryFollowTheWindowsRelease) {
    struct Case {
        const char* name;
        std::uint32_t major, minor;
        std::uint8_t productType;
        std::uint32_t rights;
        bool usesPsapi;
    };
    const Case cases[] = {
        {"Windows 2000: module path with read rights", 5, 0, 1, 0x410, false},
        {"an unrecognised release is treated as the oldest", 6, 4, 1, 0x410, false},
        {"Windows XP", 5, 1, 1, 0x400, true},
        {"Windows Server 2003", 5, 2, 2, 0x400, true},
        {"Windows Vista: limited rights", 6, 0, 1, 0x1000, true},
        {"Windows 10", 10, 0, 1, 0x1000, true},
    };
    for (const Case& c : cases) {
        Rig r;
        r.sim.world.SetVersion(c.major, c.minor, c.productType);
        r.sim.world.AddProcess(700, u"\\Device\\HarddiskVolume10\\Games\\game.exe", u"D:\\Games\\module.exe");
        const Hwnd window = r.sim.world.AddWindow(u"Game", u"GameClass", 700, 7001);
        const std::size_t handles = r.sim.world.handles.OpenCount();

        const Text path = GetWindowProcessPath(r.api, window);

        ASSERT_EQ(r.sim.processes.openRequests.size(), 1u) << c.name;
        EXPECT_EQ(r.sim.processes.openRequests[0].access, c.rights) << c.name;
        EXPECT_FALSE(r.sim.processes.openRequests[0].inherit) << c.name;
        EXPECT_EQ(path, c.usesPsapi ? u"D:\\Games\\game.exe" : u"D:\\Games\\module.exe") << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenedTotal(sim::HandleKind::Library), c.usesPsapi ? 1u : 0u) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), handles) << c.name;
    }
}

TEST(Foreground, PathsLongerThan260CharactersAreReadWhole) {
    // A folder deep enough that the path has the given length on drive D:.
    const auto deepPath = [](const Text& root, std::size_t length) {
        Text path = root;
        while (path.size() + 12 < length) path += u"\\folder";
        path += u"\\";
        path.append(length - path.size() - 4, u'g');
        return path + u".exe";
    };
    struct Case {
        std::uint32_t major;  // 5.0: the module path; 10: the image path through Psapi
        std::size_t length;
    };
    for (const Case& c : {Case{10, 259}, Case{10, 260}, Case{10, 261}, Case{10, 1000}, Case{10, 32000}, Case{5, 259},
                          Case{5, 260}, Case{5, 700}}) {
        Rig r;
        r.sim.world.SetVersion(c.major, 0, 1);
        const Text drivePath = deepPath(u"D:", c.length);
        const Text devicePath = u"\\Device\\HarddiskVolume10" + drivePath.substr(2);
        r.sim.world.AddProcess(700, devicePath, drivePath);
        const Hwnd window = r.sim.world.AddWindow(u"Game", u"GameClass", 700, 7001);
        EXPECT_EQ(GetWindowProcessPath(r.api, window), drivePath) << c.major << " / " << c.length;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << c.major << " / " << c.length;
    }
    // A path past the longest Windows knows is not taken half.
    Rig r;
    r.sim.world.AddProcess(700, u"\\Device\\HarddiskVolume10\\" + Text(33000, u'g'));
    EXPECT_EQ(GetWindowProcessPath(r.api, r.sim.world.AddWindow(u"Game", u"GameClass", 700, 7001)), u"");
}

TEST(Foreground, WithoutTheImageNameQueryThePathIsEmpty) {
    for (const bool libraryMissing : {true, false}) {
        Rig r;
        if (libraryMissing) {
            r.sim.world.libraries.erase(u"PSAPI.DLL");
        } else {
            r.sim.world.libraries[u"PSAPI.DLL"].entries.clear();
        }
        r.sim.world.AddProcess(700, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        const Hwnd window = r.sim.world.AddWindow(u"Game", u"GameClass", 700, 7001);
        EXPECT_EQ(GetWindowProcessPath(r.api, window), u"") << libraryMissing;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << libraryMissing;
    }
}

TEST(Foreground, DevicePathsBecomeDriveLetterPaths) {
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&)> arrange;
        Text path;
        Text expected;
    };
    const auto none = [](sim::SimWorld&) {};
    const Case cases[] = {
        {"volume 1", none, u"\\Device\\HarddiskVolume1\\Windows\\explorer.exe", u"C:\\Windows\\explorer.exe"},
        {"volume 10 is not taken for volume 1", none, u"\\Device\\HarddiskVolume10\\Games\\game.exe",
         u"D:\\Games\\game.exe"},
        {"the device name matches ignoring case", none, u"\\device\\HARDDISKVOLUME1\\App\\a.exe", u"C:\\App\\a.exe"},
        {"a device not in the drive list", none, u"\\Device\\Mup\\server\\share\\tool.exe",
         u"\\Device\\Mup\\server\\share\\tool.exe"},
        {"a drive whose device cannot be queried is skipped",
         [](sim::SimWorld& w) { w.drives[0].queryFails = true; }, u"\\Device\\HarddiskVolume1\\App\\a.exe",
         u"\\Device\\HarddiskVolume1\\App\\a.exe"},
        {"no drive list: the device path stays",
         [](sim::SimWorld& w) { w.driveStringsFail = true; }, u"\\Device\\HarddiskVolume1\\App\\a.exe",
         u"\\Device\\HarddiskVolume1\\App\\a.exe"},
        {"an empty path", none, u"", u""},
    };
    for (const Case& c : cases) {
        Rig r;
        c.arrange(r.sim.world);
        EXPECT_EQ(DevicePathToDrivePath(r.sim.system, c.path), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace kx

namespace kx {
namespace {

TEST(ForegroundMemo, TheImagePathIsReadAgainOnlyForAnotherWindowOrProcess) {
    Rig rig;
    sim::SimWorld& w = rig.sim.world;
    w.AddProcess(300, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
    w.AddProcess(301, u"\\Device\\HarddiskVolume1\\Apps\\notes.exe");
    const Hwnd game = w.AddWindow(u"Game", u"GameClass", 300, 3001);
    const Hwnd notes = w.AddWindow(u"Notes", u"NotesClass", 301, 3011);
    const auto opened = [&w] { return w.handles.OpenedTotal(sim::HandleKind::Process); };
    ImagePathMemo memo;

    EXPECT_EQ(TakeForegroundSnapshot(rig.api, game, &memo).imagePath, u"C:\\Games\\game.exe");
    const std::size_t first = opened();
    w.windows[game].title = u"Game - level 2";
    const ForegroundSnapshot again = TakeForegroundSnapshot(rig.api, game, &memo);
    EXPECT_EQ(again.caption, u"Game - level 2") << "the caption is read every time";
    EXPECT_EQ(again.imagePath, u"C:\\Games\\game.exe");
    EXPECT_EQ(opened(), first) << "same window, same process: no process opened";

    EXPECT_EQ(TakeForegroundSnapshot(rig.api, notes, &memo).imagePath, u"C:\\Apps\\notes.exe");
    // The same window now reports another process (as after a handle was reused).
    w.windows[notes].processId = 300;
    EXPECT_EQ(TakeForegroundSnapshot(rig.api, notes, &memo).imagePath, u"C:\\Games\\game.exe");
    EXPECT_EQ(opened(), first + 2);

    // A path that could not be read is asked for again.
    w.processes[301].grantableRights = 0;
    w.windows[notes].processId = 301;
    EXPECT_EQ(TakeForegroundSnapshot(rig.api, notes, &memo).imagePath, u"");
    w.processes[301].grantableRights = ~0u;
    EXPECT_EQ(TakeForegroundSnapshot(rig.api, notes, &memo).imagePath, u"C:\\Apps\\notes.exe");
}

}  // namespace
}  // namespace kx
