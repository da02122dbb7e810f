#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "companion/BlockListDocument.h"
#include "companion/BlockProposal.h"
#include "config/WindowsVersion.h"
#include "engine/BlockList.h"
#include "engine/Foreground.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

struct Rig {
    Rig() {
        sim.world.drives = {{u"C:\\", u"\\Device\\HarddiskVolume1", false}};
        // Another program whose name ends like the windows' own, and which no row may block.
        sim.world.AddProcess(900, u"\\Device\\HarddiskVolume1\\Apps\\xgame.exe");
        other = sim.world.AddWindow(u"Other", u"OtherClass", 900, 9001);
    }
    // Saves the row as the main program does and loads the list as KestrixTray does.
    void SaveAndLoad(const ProposedRow& row) {
        BlockListDocument document;
        ASSERT_EQ(document.AddRow(row.kind, row.pattern, row.description), RowProblem::None)
            << sim::U8(row.pattern);
        const Text path = BlockListPath(sim.system, sim.shell);
        sim.world.files[sim::Upper(path)] = sim::SimFile{document.ToFileBytes(), false};
        list.LoadBlockList(path);
    }
    bool Blocks(Hwnd window) const {
        const ForegroundSnapshot s = TakeForegroundSnapshot(api, window);
        return list.IsBlocked(s.caption, s.classKey, s.imagePath);
    }

    SimPlatform sim;
    InspectionApi api{sim.windows, sim.processes, sim.system, sim.libraries};
    BlockList list{sim.system, sim.files};
    Hwnd other = 0;
};

// Each proposed row, saved and read back, blocks its window and not another.
TEST(BlockProposal, EveryProposedRowBlocksItsWindow) {
    struct Case {
        const char* name;
        Text title;
        Text className;
        Text kernelPath;  // empty: the process cannot be named
    };
    const Case cases[] = {
        {"an ordinary window", u"Game", u"GameClass", u"\\Device\\HarddiskVolume1\\Games\\game.exe"},
        {"blanks around the title and class", u"  Game window \t", u" GameClass ", u"\\Device\\HarddiskVolume1\\Games\\game.exe"},
        {"a title and class of 300 characters", Text(300, u't'), Text(300, u'c'), u"\\Device\\HarddiskVolume1\\Games\\game.exe"},
        {"a title of two lines", u"Game\r\nsecond line", u"GameClass", u"\\Device\\HarddiskVolume1\\Games\\game.exe"},
        {"a title with commas and quotes", u"Game, \"the\" sequel", u"GameClass", u"\\Device\\HarddiskVolume1\\Games\\game.exe"},
        {"no program path", u" Locked ", u"LockedClass", u""},
        {"no title and no path", u"", u"BareClass", u""},
    };
    for (const Case& c : cases) {
        for (ProposedKind kind : {ProposedKind::Best, ProposedKind::ClassKey, ProposedKind::Caption, ProposedKind::ImagePath}) {
            Rig rig;
            if (!c.kernelPath.empty()) rig.sim.world.AddProcess(500, c.kernelPath);
            const Hwnd window = rig.sim.world.AddWindow(c.title, c.className, 500, 5001);
            const ProposedRow row = ProposeBlockRow(TakeForegroundSnapshot(rig.api, window), kind);
            rig.SaveAndLoad(row);
            const std::string label = std::string(c.name) + ", kind " + std::to_string(static_cast<int>(kind));
            EXPECT_TRUE(rig.Blocks(window)) << label << ": " << sim::U8(row.kind) << " " << sim::U8(row.pattern);
            EXPECT_FALSE(rig.Blocks(rig.other)) << label;
        }
    }
}

TEST(BlockProposal, TheBestRowNamesTheProgramElseTheCaptionElseTheClass) {
    struct Case {
        ForegroundSnapshot snapshot;
        ProposedKind kind;
        Text rowKind;
        Text pattern;
        Text description;
    };
    const Case cases[] = {
        {{u"Game", u"#GameClass", u"C:\\Games\\game.exe"}, ProposedKind::Best, u"2", u"\\game.exe", u"Game"},
        {{u"Game", u"#GameClass", u""}, ProposedKind::Best, u"1", u"Game", u"Game"},
        {{u"", u"#GameClass", u""}, ProposedKind::Best, u"0", u"#GameClass", u"#GameClass"},
        {{u"Game", u"#GameClass", u""}, ProposedKind::ImagePath, u"1", u"Game", u"Game"},
        {{u"Game", u"#GameClass", u"C:\\Games\\game.exe"}, ProposedKind::ClassKey, u"0", u"#GameClass", u"Game"},
        {{u"Game\nmore", u"#", u""}, ProposedKind::ClassKey, u"1", u"Game", u"Game"},
    };
    for (const Case& c : cases) {
        const ProposedRow row = ProposeBlockRow(c.snapshot, c.kind);
        EXPECT_EQ(row.kind, c.rowKind) << sim::U8(c.snapshot.caption);
        EXPECT_EQ(row.pattern, c.pattern) << sim::U8(c.snapshot.caption);
        EXPECT_EQ(row.description, c.description) << sim::U8(c.snapshot.caption);
    }
}

}  // namespace
}  // namespace kx
