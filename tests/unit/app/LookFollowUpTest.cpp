#include <gtest/gtest.h>

#include <string>

#include "AppTestSupport.h"
#include "PerfBlockBuilder.h"
#include "app/AccelerationStage.h"
#include "app/TrayForm.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::T;

const Text kSettings = T(test::kSettingsPath);
const Text kStatus = u"HKCU\\Software\\VELMOR\\Kestrix\\Status";
const Text kListPath = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";

// A hybrid machine (16 performance threads, then 16 efficiency ones), a game,
// an editor, a notepad the user's row blocks, a print dialog a built-in row
// blocks, and a window of KestrixTray's own process.
struct Rig : test::StageParts {
    Rig() {
        std::vector<CpuSetInfo> sets;
        for (int i = 0; i < 32; ++i) {
            CpuSetInfo set;
            set.id = 0x100u + static_cast<std::uint32_t>(i);
            set.logicalProcessorIndex = static_cast<std::uint8_t>(i);
            set.efficiencyClass = i < 16 ? 1 : 0;
            sets.push_back(set);
        }
        sim.world.UseProcessorTopology(sets);
        sim.world.systemAffinityMask = 0xFFFFFFFFu;
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
        sim.world.AddProcess(300, u"\\Device\\HarddiskVolume1\\Windows\\notepad.exe");
        sim.world.AddProcess(400, u"\\Device\\HarddiskVolume1\\Apps\\office.exe");
        sim.world.AddProcess(4000, u"\\Device\\HarddiskVolume1\\Kestrix\\KestrixTray.exe");
        game = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
        editor = sim.world.AddWindow(u"Editor", u"EditorClass", 200, 2001);
        notepad = sim.world.AddWindow(u"Untitled - Notepad", u"Notepad", 300, 3001);
        print = sim.world.AddWindow(u"Print", u"#32770", 400, 4001);
        own = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
        const std::string list = "\"+\", \"1\", \"Notepad\", \"my editor\"\r\n";
        sim.world.files[sim::Upper(kListPath)].bytes.assign(list.begin(), list.end());
        Idle(0);
        blockList.LoadBlockList(kListPath);
        stage.FollowLooksWith(&followUp);
    }
    // The performance data at that second: since the one before, an
    // efficiency processor (20) was idle most, and of the performance
    // processors processor 3.
    void Idle(std::uint16_t second) {
        std::vector<std::int64_t> idle(33, 1'000'000'000 + second * 1'000'000LL);
        idle[20] += 9'000'000LL * (second + 1);
        idle[3] += 5'000'000LL * (second + 1);
        sim.world.performanceData = test::ProcessorBlock(idle, SystemTime{2022, 6, 3, 1, 12, 0, second, 0});
    }
    void Tick(Hwnd focus, int times = 1) {
        sim.world.foreground = focus;
        for (int i = 0; i < times; ++i) stage.Run();
    }
    Text Status(const char16_t* name) const { return test::StoredText(sim.world.Value(kStatus, name)); }
    std::vector<std::uint32_t> SetOf(std::uint32_t pid) { return sim.world.processes[pid].defaultCpuSets; }

    LookFollowUp followUp{settings, PlacementApi{sim.system, sim.processes, sim.libraries, &sim.trace}, sim.registry,
                          4000};
    Hwnd game = 0, editor = 0, notepad = 0, print = 0, own = 0;
};

TEST(LookFollowUp, EachLookThatActsLeavesItsOutcomeWrittenOncePerChange) {
    struct Step {
        const char* name;
        Hwnd Rig::*window;
        int ticks;
        const char16_t* outcome;
        const char16_t* program;
        const char16_t* reason;
        std::size_t writes;  // Status writes so far
    };
    const Step steps[] = {
        {"a normal window", &Rig::game, 5, u"raised", u"game.exe", u"", 1},
        {"a window the user's row blocks", &Rig::notepad, 5, u"blocked", u"notepad.exe", u"user row: Notepad", 2},
        {"back to the raised window: its outcome again", &Rig::game, 3, u"raised", u"game.exe", u"", 3},
        {"a window a built-in row blocks", &Rig::print, 2, u"blocked", u"office.exe", u"built-in row: Print", 4},
        {"KestrixTray's own window", &Rig::own, 2, u"own", u"KestrixTray.exe", u"KestrixTray's own window", 5},
        {"another program", &Rig::editor, 4, u"raised", u"editor.exe", u"", 6},
    };
    Rig r;
    for (const Step& s : steps) {
        r.Tick(r.*s.window, s.ticks);
        EXPECT_EQ(r.Status(u"Outcome"), s.outcome) << s.name;
        EXPECT_EQ(r.Status(u"Program"), s.program) << s.name;
        EXPECT_EQ(r.Status(u"Reason"), s.reason) << s.name;
        EXPECT_EQ(r.followUp.Status().Writes(), s.writes) << s.name;
    }
}

TEST(LookFollowUp, TheClassIsReadBackAfterTheRaise) {
    struct Case {
        const char* name;
        std::uint32_t level;
        bool privilege;
        std::uint32_t given;
        const char16_t* outcome;
    };
    const Case cases[] = {
        {"high as asked", 2, true, w32::kHighPriorityClass, u"raised"},
        {"realtime without the privilege: high", 3, false, w32::kHighPriorityClass, u"raised"},
        {"realtime with it", 3, true, w32::kRealtimePriorityClass, u"raised"},
    };
    for (const Case& c : cases) {
        Rig r;
        r.sim.world.SetDword(kSettings, u"ProcessorPriority", c.level);
        r.sim.world.processes[100].realtimeAllowed = c.privilege;
        r.Tick(r.game);
        EXPECT_EQ(r.followUp.Outcome().given, c.given) << c.name;
        EXPECT_EQ(r.followUp.Outcome().asked, PriorityClassOfLevel(static_cast<PriorityLevel>(c.level))) << c.name;
        EXPECT_EQ(r.Status(u"Outcome"), c.outcome) << c.name;
    }
    // A process that runs as administrator cannot be opened to be changed.
    Rig r;
    r.sim.world.processes[100].grantableRights = w32::kProcessQueryLimitedInformation;
    r.Tick(r.game);
    EXPECT_EQ(r.Status(u"Outcome"), u"refused");
    EXPECT_EQ(r.Status(u"Reason"), u"access denied: it runs as administrator or is protected");
}

TEST(LookFollowUp, WithCorePlacementTheProgramInFrontHasThePerformanceCoresUntilAnotherComes) {
    Rig r;
    r.Tick(r.game);
    EXPECT_TRUE(r.sim.world.cpuSetCalls.empty()) << "CorePlacement missing: no set";

    r.sim.world.SetDword(kSettings, u"CorePlacement", 1);
    r.Idle(1);
    r.Tick(r.editor);
    std::vector<std::uint32_t> performance;
    for (std::uint32_t i = 0; i < 16; ++i) performance.push_back(0x100 + i);
    EXPECT_EQ(r.SetOf(200), performance);
    EXPECT_EQ(r.Status(u"Cores"), u"performance cores");
    // The ideal processor inside the set: processor 3, not the idler efficiency processor 20.
    EXPECT_EQ(r.sim.world.threads[2001].idealProcessor, 3u);

    r.Tick(r.game);
    EXPECT_TRUE(r.SetOf(200).empty()) << "the editor's set is taken back";
    EXPECT_EQ(r.SetOf(100), performance);
    // A blocked window in front changes nothing; another program takes the set along.
    r.Tick(r.notepad, 3);
    EXPECT_EQ(r.SetOf(100), performance);
    r.followUp.Restore();
    EXPECT_TRUE(r.SetOf(100).empty());
}

// The tray form shows the status as the tooltip's second line while ShowStatus is on.
TEST(LookFollowUp, TheTooltipShowsTheStatusWhileShowStatusIsOn) {
    sim::SimPlatform sim;
    test::LoadRealTables(sim.world);
    const Hwnd formWindow = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
    const Hwnd iconWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
    sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
    const Hwnd game = sim.world.AddWindow(u"Game", u"GameClass", 100, 1001);
    TKXTrayForm form(sim.api(), formWindow, iconWindow, 0x8001);
    form.FormCreate();
    sim.world.foreground = game;
    form.MainTimerTimer();
    EXPECT_EQ(form.Icon().Hint(), u"Kestrix") << "ShowStatus missing: the hint alone";

    sim.world.SetDword(kSettings, u"ShowStatus", 1);
    form.MainTimerTimer();
    EXPECT_EQ(form.Icon().Hint(), u"Kestrix\ngame.exe raised to high");

    sim.world.SetString(kSettings, u"Language", u"french");  // the line follows the language at the next outcome
    sim.world.SetDword(kSettings, u"ShowStatus", 0);
    form.MainTimerTimer();
    EXPECT_EQ(form.Icon().Hint(), u"Kestrix");
}

}  // namespace
}  // namespace kx
