// Failures that change nothing the user sees leave one line on the debug
// output, so that what did not happen can be followed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/TrayForm.h"
#include "platform/Failure.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::T;
using test::kSettingsPath;

class FailureTrace : public ::testing::Test {
protected:
    FailureTrace() {
        test::LoadRealTables(sim.world);
        const Hwnd formWindow = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
        const Hwnd iconWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
        sim.world.AddProcess(5000, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        game = sim.world.AddWindow(u"Game", u"GameClass", 5000, 5001);
        form = std::make_unique<TKXTrayForm>(sim.api(), formWindow, iconWindow, 0x8001);
        form->FormCreate();
        sim.world.debugLines.clear();
    }
    // The lines of one source, without the program's prefix and the line break.
    std::vector<std::string> Lines(const std::string& source) const {
        std::vector<std::string> lines;
        const std::string prefix = "KestrixTray: " + source + ": ";
        for (const Text& line : sim.world.debugLines) {
            const std::string text = sim::U8(line);
            if (text.rfind(prefix, 0) == 0) lines.push_back(text.substr(prefix.size(), text.size() - prefix.size() - 1));
        }
        return lines;
    }

    sim::SimPlatform sim;
    Hwnd game = 0;
    std::unique_ptr<TKXTrayForm> form;
};

TEST_F(FailureTrace, AnAbandonedStageLeavesOneLineAMinuteNamingTheStageAndTheFailure) {
    form->Cycle().Stages().iconRefresh = [] { throw Failure("no metrics"); };
    sim.world.foreground = game;
    for (int tick = 0; tick < 120; ++tick) {
        form->MainTimerTimer();
        sim.world.tickCountMs += 1000;
    }
    const std::vector<std::string> lines = Lines("tick");
    ASSERT_EQ(lines.size(), 2u);  // the first at once, the next a minute later with the count held back
    EXPECT_EQ(lines[0], "abandoned in the icon refresh stage: no metrics");
    EXPECT_NE(lines[1].find("abandoned in the icon refresh stage"), std::string::npos);
    EXPECT_NE(lines[1].find("59 more like it held back"), std::string::npos);
}

TEST_F(FailureTrace, ValuesThatDoNotConvertLeaveALineAndAbandonNothing) {
    sim.world.foreground = game;
    sim.world.SetString(T(kSettingsPath), u"Handle", u"abc");
    sim.world.SetString(T(kSettingsPath), u"UpdatedDate", u"yesterday");
    for (int tick = 0; tick < 7300; ++tick) form->MainTimerTimer();
    EXPECT_TRUE(Lines("tick").empty());
    EXPECT_EQ(Lines("acceleration"), std::vector<std::string>{"Handle holds no decimal number; read as 0"});
    ASSERT_FALSE(Lines("update.date").empty());
    EXPECT_EQ(Lines("update.date")[0], "UpdatedDate is no whole number of seconds; read as missing");
}

TEST_F(FailureTrace, ARefusedHandleWriteLeavesALine) {
    sim.world.foreground = game;
    sim.world.SetString(T(kSettingsPath), u"Handle", u"0");
    sim.world.Key(T(kSettingsPath)).denyWrite = true;
    form->MainTimerTimer();
    const std::vector<std::string> lines = Lines("settings.write");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Handle: the key could not be opened for writing (error 5)");
    EXPECT_TRUE(Lines("tick").empty()) << "a refused write does not abandon the tick";
}

TEST_F(FailureTrace, AProcessThatCannotBeRaisedLeavesALine) {
    sim.world.processes[5000].grantableRights = 0;
    sim.world.foreground = game;
    form->MainTimerTimer();
    EXPECT_EQ(Lines("priority"), std::vector<std::string>{"OpenProcess failed for process 5000 (error 5)"});
    EXPECT_TRUE(Lines("tick").empty()) << "the tick goes on";
}

TEST_F(FailureTrace, AnUpdateCheckWithoutAnswerLeavesALine) {
    // No server answers in the simulated network.
    UpdateChecker checker(sim.network, sim.clock, ProgramUpdateEndpoint(), UpdateTimeouts{}, &sim.trace);
    EXPECT_EQ(checker.CheckForUpdate(), kUpdateNoAnswer);
    ASSERT_EQ(Lines("update.check").size(), 1u);
    EXPECT_EQ(Lines("update.check")[0], "no 2xx answer from the update server");
}

TEST_F(FailureTrace, AFailingLoadQueryAndAnUnreadableSampleEachLeaveTheirLines) {
    // No system record is answered, and the performance data holds nothing:
    // the graph stays at zero and the threads keep their processors, as before.
    sim.world.foreground = game;
    for (int tick = 0; tick < 120; ++tick) {
        form->MainTimerTimer();
        sim.world.tickCountMs += 1000;
    }
    const std::vector<std::string> load = Lines("load");
    ASSERT_EQ(load.size(), 2u);  // every tick fails: one line a minute
    EXPECT_EQ(load[0], "NtQuerySystemInformation(class 0) failed with status 0xC0000003");
    // One focus change, so one sample: one line.
    const std::vector<std::string> sample = Lines("ideal.sample");
    ASSERT_EQ(sample.size(), 1u);
    EXPECT_NE(sample[0].find("performance data"), std::string::npos) << sample[0];
}

TEST_F(FailureTrace, AWindowWhoseProcessCannotBeOpenedLeavesALine) {
    // A window of a process that refuses to be opened: its path rows cannot match.
    const Hwnd guarded = sim.world.AddWindow(u"Guarded", u"GuardedClass", 7777, 7778);
    sim.world.foreground = guarded;
    form->MainTimerTimer();
    const std::vector<std::string> lines = Lines("foreground");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "process 7777 cannot be opened: its path rows cannot match");
}

}  // namespace
}  // namespace kx
