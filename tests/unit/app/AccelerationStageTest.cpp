#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "AppTestSupport.h"
#include "PerfBlockBuilder.h"
#include "app/AccelerationStage.h"
#include "platform/Failure.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

const Text kSettings = u"HKLM\\Software\\VELMOR\\Kestrix";

// Program A (two threads), program B (two threads) and a print dialog that
// the built-in rows block; processor 2 has been idle longest.
struct Rig : test::StageParts {
    Rig() {
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
        sim.world.AddProcess(300, u"\\Device\\HarddiskVolume1\\Apps\\office.exe");
        sim.world.processes[200].priorityClass = w32::kBelowNormalPriorityClass;
        a = sim.world.AddWindow(u"Game A", u"GameA", 100, 1001);
        sim.world.AddThread(1002, 100);
        b = sim.world.AddWindow(u"Editor B", u"EditorB", 200, 2001);
        sim.world.AddThread(2002, 200);
        printDialog = sim.world.AddWindow(u"Print", u"#32770", 300, 3001);
        for (auto& entry : sim.world.threads) entry.second.idealProcessor = 99;
        sim.world.performanceData = test::ProcessorBlock({1'000'000'000, 2'000'000'000, 3'000'000'000, 6'000'000'000},
                                                         SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
        blockList.LoadBlockList(u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv");
        stage.KeepRaisedProcessWith(&keeper);
        sim.world.processes[200].creationTime = 777;
        startHandles = sim.world.handles.OpenCount();
    }
    void Tick(Hwnd focus, int times = 1) {
        sim.world.foreground = focus;
        for (int i = 0; i < times; ++i) stage.Run();
    }
    // A window event: the foreground is now focus.
    void Event(Hwnd focus) {
        sim.world.foreground = focus;
        stage.RunForForegroundChange();
    }
    Text Handle() const { return settings.RegReadString(u"Handle", u"(none)"); }
    std::uint32_t ClassOf(std::uint32_t pid) { return sim.world.processes[pid].priorityClass; }
    int Sets(std::uint32_t thread) { return sim.world.threads[thread].idealProcessorSets; }
    std::uint32_t Ideal(std::uint32_t thread) { return sim.world.threads[thread].idealProcessor; }

    RaisedProcessKeeper keeper{sim.registry, inspection, settings, sampler, sim.trace};
    Hwnd a = 0, b = 0, printDialog = 0;
    std::size_t startHandles = 0;
};

TEST(AccelerationStage, FocusMovingFromAToBRestoresARaisesBAndMovesBsThreads) {
    Rig r;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.a));
    EXPECT_EQ(r.Ideal(1001), 2u);
    EXPECT_EQ(r.Ideal(1002), 2u);
    r.Tick(r.a, 5);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 5);

    // Six seconds on, processor 1 has been idle most since the last sample.
    r.sim.world.performanceData = test::ProcessorBlock(
        {1'001'000'000, 2'009'000'000, 3'001'000'000, 6'011'000'000}, SystemTime{2022, 6, 3, 1, 12, 0, 6, 0});
    r.Tick(r.b);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.b));
    EXPECT_EQ(r.Ideal(2001), 1u);
    EXPECT_EQ(r.Ideal(2002), 1u);
    EXPECT_EQ(r.Ideal(1002), 2u);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    // B's process stays open while it is the raised one; A's went with its restore.
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles + 1);
    EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u);
}

TEST(AccelerationStage, TheThreadsOfAFocusedWindowMoveAgainEvery120Ticks) {
    Rig r;
    r.Tick(r.b);
    ASSERT_EQ(r.Sets(2002), 1);
    r.Tick(r.b, 119);
    EXPECT_EQ(r.Sets(2002), 1);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 119);
    r.Tick(r.b);
    EXPECT_EQ(r.Sets(2002), 2);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles + 1);
}

TEST(AccelerationStage, ABlockedWindowIsNeverRaisedOrRecordedAndTheRecordedOneKeepsItsRefresh) {
    Rig r;
    r.Tick(r.a);
    r.Tick(r.printDialog, 119);
    EXPECT_EQ(r.ClassOf(300), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.a));
    EXPECT_EQ(r.Sets(1002), 1);
    r.Tick(r.printDialog);
    EXPECT_EQ(r.Sets(1002), 2);
    EXPECT_EQ(r.Sets(3001), 0);
    // Back to the recorded window: no new acceleration.
    r.Tick(r.a);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
    EXPECT_EQ(r.Sets(1002), 2);
}

TEST(AccelerationStage, WithProcessorIdealOffNoThreadMovesAndTheCounterStillCycles) {
    Rig r;
    r.sim.world.SetDword(kSettings, u"ProcessorIdeal", 0);
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    r.Tick(r.a, 120);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    r.Tick(r.a, 7);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 7);
    EXPECT_EQ(r.Sets(1001) + r.Sets(1002), 0);
    EXPECT_TRUE(r.sim.world.performanceQuerySizes.empty());
}

TEST(AccelerationStage, ProcessorPriorityZeroSetsNormalAndRestoresThePrevious) {
    Rig r;
    r.sim.world.SetDword(kSettings, u"ProcessorPriority", 0);
    r.sim.world.processes[100].priorityClass = w32::kIdlePriorityClass;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    r.Tick(r.b);
    EXPECT_EQ(r.ClassOf(100), w32::kIdlePriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kNormalPriorityClass);
}

TEST(AccelerationStage, AKeyThatRefusesWritesStillServesTheWindowAcceleratedLast) {
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", HandleText(r.b));
    r.sim.world.Key(kSettings).denyWrite = true;
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.b));
    // The assignment serves the window just accelerated, not the one Handle still names.
    EXPECT_EQ(r.Sets(1002), 1);
    EXPECT_EQ(r.Sets(2002), 0);
    r.Tick(r.b);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.Sets(2002), 1);
}

TEST(AccelerationStage, WhatOthersDoToHandleCostsNoWorkPerTick) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> eachTick;
    };
    const Case cases[] = {
        {"the key refuses writes", [](Rig& r) { r.sim.world.Key(kSettings).denyWrite = true; }},
        {"the key is deleted and cannot be made again",
         [](Rig& r) {
             r.sim.world.keys.erase(sim::Upper(kSettings));
             r.sim.world.Key(kSettings).denyWrite = true;
         }},
        {"another account's tray writes its own window",
         [](Rig& r) { r.sim.world.SetString(kSettings, u"Handle", u"123456"); }},
        {"another account writes a word", [](Rig& r) { r.sim.world.SetString(kSettings, u"Handle", u"abc"); }},
    };
    for (const Case& c : cases) {
        Rig r;
        r.Tick(r.a);
        const std::size_t samples = r.sim.world.performanceQuerySizes.size();
        const std::size_t opens = r.sim.processes.openRequests.size();
        ASSERT_GT(samples, 0u);
        for (int i = 0; i < 100; ++i) {
            c.eachTick(r);
            EXPECT_NO_THROW(r.Tick(r.a)) << c.name;
        }
        EXPECT_EQ(r.stage.IdealRefreshCounter(), 100) << c.name;
        EXPECT_EQ(r.sim.world.performanceQuerySizes.size(), samples) << c.name << ": no new sample";
        EXPECT_EQ(r.Sets(1002), 1) << c.name;
        // The window and its process stay the same: its image path is not read again.
        EXPECT_EQ(r.sim.processes.openRequests.size(), opens) << c.name;
        EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles + 1) << c.name;
    }
}

TEST(AccelerationStage, AHandleThatIsNoNumberReadsAsNoWindowAndTheLookGoesOn) {
    for (const Text& stored : {Text(u"abc"), Text(u"99999999999999999999999"), Text(u"12 34"), Text(u"0x10")}) {
        Rig r;
        r.sim.world.SetString(kSettings, u"Handle", stored);
        EXPECT_NO_THROW(r.Tick(r.a)) << sim::U8(stored);
        EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass) << sim::U8(stored);
        EXPECT_EQ(r.Handle(), HandleText(r.a)) << sim::U8(stored);
        EXPECT_EQ(r.Sets(1002), 1) << sim::U8(stored);
    }
    // With no window in front, a word reads as the "0" the null window is.
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", u"abc");
    r.Tick(0);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
    EXPECT_EQ(r.Handle(), u"abc");
}

TEST(AccelerationStage, HandlesAreComparedAndStoredAsUnsigned32BitValues) {
    Rig r;
    const Hwnd high = 0xFFFF0000u;
    r.sim.world.windows[high] = sim::SimWindow{u"High", u"HighClass", 100, 1001, true};
    r.sim.world.SetString(kSettings, u"Handle", u"-65536");  // the same bits read as signed
    r.Tick(high);
    EXPECT_EQ(r.Handle(), u"4294901760");
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    r.Tick(high);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, NoForegroundWindowBecomesTheRecordedWindow) {
    Rig r;
    r.Tick(r.a);
    r.Tick(0);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.Handle(), u"0");
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 0);
    r.Tick(0);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, AWindowRecordedByAnEarlierRunIsNotRaisedAgain) {
    Rig r;
    r.sim.world.SetString(kSettings, u"Handle", HandleText(r.a));
    r.Tick(r.a);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
}

TEST(AccelerationStage, HandleText) {
    struct Case {
        Text text;
        bool valid;
        std::int64_t value;
    };
    const Case cases[] = {
        {u"0", true, 0},
        {u"131072", true, 131072},
        {u"-65536", true, -65536},
        {u"+42", true, 42},
        {u" 42\t", true, 42},
        {u"007", true, 7},
        {u"9223372036854775807", true, INT64_MAX},
        {u"-9223372036854775808", true, INT64_MIN},
        {u"9223372036854775808", false, 0},
        {u"-9223372036854775809", false, 0},
        {u"99999999999999999999999", false, 0},
        {u"", false, 0},
        {u"  ", false, 0},
        {u"+", false, 0},
        {u"-", false, 0},
        {u"abc", false, 0},
        {u"12a", false, 0},
        {u"1 2", false, 0},
        {u"0x10", false, 0},
        {u"$10", false, 0},
        {u"1.0", false, 0},
        {u"\uFF11", false, 0},  // a full-width digit
    };
    for (const Case& c : cases) {
        if (c.valid) {
            EXPECT_EQ(ParseHandleText(c.text), c.value) << sim::U8(c.text);
        } else {
            EXPECT_THROW(ParseHandleText(c.text), Failure) << sim::U8(c.text);
        }
    }
    EXPECT_EQ(HandleText(0), u"0");
    EXPECT_EQ(HandleText(0xFFFFFFFFu), u"4294967295");
}

TEST(AccelerationStage, AForegroundChangeRunsTheLookAtOnceWithEveryRule) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> before;       // ticks and events before the one looked at
        std::function<Hwnd(const Rig&)> focus;  // the foreground the event finds
        // Expected at once, before any further tick:
        bool bRaised;       // B high, A restored, B's threads moved, the counter restarted
        int counter;
    };
    const auto onA = [](Rig& r) { r.Tick(r.a, 4); };  // A raised; four ticks counted
    const Case cases[] = {
        {"a new window is raised at once", onA, [](const Rig& r) { return r.b; }, true, 0},
        {"a blocked window: nothing raised, no tick counted", onA, [](const Rig& r) { return r.printDialog; },
         false, 3},
        {"the window looked at last: no second look", onA, [](const Rig& r) { return r.a; }, false, 3},
        {"no window in front: nothing put back, nothing raised", onA, [](const Rig&) { return Hwnd{0}; }, false,
         3},
        {"back to the recorded window after a blocked one: nothing new",
         [](Rig& r) {
             r.Tick(r.a, 4);
             r.Event(r.printDialog);
         },
         [](const Rig& r) { return r.a; }, false, 3},
    };
    for (const Case& c : cases) {
        Rig r;
        c.before(r);
        const int setsOfA = r.Sets(1001);
        r.Event(c.focus(r));
        EXPECT_EQ(r.Handle(), HandleText(c.bRaised ? r.b : r.a)) << c.name;
        EXPECT_EQ(r.ClassOf(200), c.bRaised ? w32::kHighPriorityClass : w32::kBelowNormalPriorityClass) << c.name;
        EXPECT_EQ(r.ClassOf(100), c.bRaised ? w32::kNormalPriorityClass : w32::kHighPriorityClass) << c.name;
        EXPECT_EQ(r.Sets(2002), c.bRaised ? 1 : 0) << c.name;
        EXPECT_EQ(r.Sets(1001), setsOfA) << c.name;
        EXPECT_EQ(r.stage.IdealRefreshCounter(), c.counter) << c.name;
    }
}

TEST(AccelerationStage, AfterAnImmediateBoostTheTickFindsNothingNew) {
    Rig r;
    r.Tick(r.a);
    r.Event(r.b);
    ASSERT_EQ(r.Handle(), HandleText(r.b));
    r.Tick(r.b);
    EXPECT_EQ(r.Sets(2002), 1) << "the tick moved B's threads again";
    EXPECT_EQ(r.stage.IdealRefreshCounter(), 1);
    r.Tick(r.b, 119);
    EXPECT_EQ(r.Sets(2002), 2) << "the refresh counts ticks from the boost";
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
}

const Text kUserKey = u"HKCU\\Software\\VELMOR\\Kestrix";

// The record an earlier run left, as read back from the user's key.
RaisedRecord StoredRecord(const Rig& r) {
    RaisedRecord record;
    const sim::RegValue* value = r.sim.world.Value(kUserKey, u"RaisedProcess");
    if (value == nullptr || !DecodeRaisedRecord(value->data.data(), value->data.size(), &record)) {
        ADD_FAILURE() << "no record";
    }
    return record;
}

void StoreRecord(Rig& r, const RaisedRecord& record) {
    r.sim.world.Key(kUserKey).values[u"RAISEDPROCESS"] = {u"RaisedProcess",
                                                          sim::RegValue{w32::kRegBinary, EncodeRaisedRecord(record)}};
}

TEST(RaisedProcess, TheRaisedProcessGoesBackAtExitOrAtTheNextStartOnlyIfItIsStillTheSameAndAsRaised) {
    struct Case {
        const char* name;
        bool nextStart;                        // false: Exit; true: killed, then a new run starts
        std::function<void(Rig&)> meanwhile;  // what happens to B before that
        bool putBack;
    };
    const Case cases[] = {
        {"exit, the same process", false, [](Rig&) {}, true},
        {"next start, the same process", true, [](Rig&) {}, true},
        {"exit after a refresh moved the threads again", false, [](Rig& r) { r.Tick(r.b, 120); }, true},
        {"next start, the id reused by another process", true,
         [](Rig& r) { r.sim.world.processes[200].creationTime = 888; }, false},
        {"next start, the class changed by the program itself", true,
         [](Rig& r) { r.sim.world.processes[200].priorityClass = w32::kAboveNormalPriorityClass; }, false},
        {"exit, the class changed by the program itself", false,
         [](Rig& r) { r.sim.world.processes[200].priorityClass = w32::kIdlePriorityClass; }, false},
        {"exit, the process has ended", false, [](Rig& r) { r.sim.world.processes[200].exited = true; }, false},
        {"next start, a record of another session", true,
         [](Rig& r) {
             RaisedRecord record = StoredRecord(r);
             record.sessionId = 2;
             StoreRecord(r, record);
         },
         false},
        {"next start in another session than the process's", true,
         [](Rig& r) {
             r.sim.world.processes[200].sessionId = 2;
             RaisedRecord record = StoredRecord(r);
             record.sessionId = 2;
             StoreRecord(r, record);
         },
         false},
        {"next start, a record of another image", true,
         [](Rig& r) {
             RaisedRecord record = StoredRecord(r);
             record.imagePath = u"C:\\Apps\\other.exe";
             StoreRecord(r, record);
         },
         false},
        {"next start, a record that puts back above high", true,
         [](Rig& r) {
             RaisedRecord record = StoredRecord(r);
             record.earlierClass = w32::kRealtimePriorityClass;
             StoreRecord(r, record);
         },
         false},
        {"next start with RestoreOnExit turned off", true,
         [](Rig& r) { r.sim.world.SetDword(kSettings, u"RestoreOnExit", 0); }, false},
        {"next start with RestoreOnExit gone", true,
         [](Rig& r) { r.sim.world.DeleteValue(kSettings, u"RestoreOnExit"); }, false},
    };
    for (const Case& c : cases) {
        Rig r;
        r.sim.world.SetDword(kSettings, u"RestoreOnExit", 1);
        r.Tick(r.b);
        ASSERT_EQ(r.ClassOf(200), w32::kHighPriorityClass) << c.name;
        ASSERT_EQ(r.Ideal(2002), 2u) << c.name;
        ASSERT_NE(r.sim.world.Value(kUserKey, u"RaisedProcess"), nullptr) << c.name << ": not recorded";
        EXPECT_EQ(r.sim.world.Value(kSettings, u"RaisedProcess"), nullptr) << c.name << ": recorded for all users";
        const std::uint32_t classBefore = r.sim.world.processes[200].priorityClass;
        c.meanwhile(r);
        const std::uint32_t classThen = r.sim.world.processes[200].priorityClass;
        bool putBack = false;
        if (c.nextStart) {
            RaisedProcessKeeper nextRun(r.sim.registry, r.inspection, r.settings, r.sampler, r.sim.trace);
            putBack = nextRun.RestoreLeftOver();
        } else {
            r.keeper.RestoreAtExit();
        }
        if (c.putBack) {
            EXPECT_EQ(r.ClassOf(200), w32::kBelowNormalPriorityClass) << c.name;
            EXPECT_EQ(r.Ideal(2001), 99u) << c.name;
            EXPECT_EQ(r.Ideal(2002), 99u) << c.name;
        } else {
            EXPECT_EQ(r.sim.world.processes[200].priorityClass, classThen) << c.name;
            EXPECT_EQ(r.Ideal(2002), 2u) << c.name;
        }
        EXPECT_EQ(putBack, c.nextStart && c.putBack) << c.name;
        EXPECT_EQ(classBefore, w32::kHighPriorityClass);
        EXPECT_EQ(r.sim.world.Value(kUserKey, u"RaisedProcess"), nullptr) << c.name << ": the record stayed";
        // Only the raised process's own handle is open, as during the run.
        EXPECT_EQ(r.sim.world.handles.OpenCount(), r.startHandles + 1) << c.name;
    }
}

TEST(RaisedProcess, TheRecordNamesTheProcessByIdCreationImageAndSession) {
    Rig r;
    r.sim.world.SetDword(kSettings, u"RestoreOnExit", 1);
    r.sim.world.processes[200].sessionId = 3;
    r.Tick(r.b);
    const RaisedRecord record = StoredRecord(r);
    EXPECT_EQ(record.processId, 200u);
    EXPECT_EQ(record.creationTime, 777);
    EXPECT_EQ(record.sessionId, 3u);
    EXPECT_NE(record.imagePath.find(u"editor.exe"), Text::npos) << sim::U8(record.imagePath);
    EXPECT_EQ(record.earlierClass, w32::kBelowNormalPriorityClass);
    EXPECT_EQ(record.raisedClass, w32::kHighPriorityClass);
}

TEST(RaisedProcess, WithoutRestoreOnExitNothingIsRecordedAndExitLeavesTheProcessRaised) {
    Rig r;
    r.Tick(r.a);
    r.Tick(r.b);
    EXPECT_EQ(r.sim.world.Value(kUserKey, u"RaisedProcess"), nullptr);
    r.keeper.RestoreAtExit();
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
}

TEST(RaisedProcess, ARecordThatDoesNotHoldTogetherIsDroppedUnread) {
    RaisedRecord record;
    record.processId = 200;
    record.creationTime = 777;
    record.earlierClass = w32::kNormalPriorityClass;
    record.raisedClass = w32::kHighPriorityClass;
    record.sessionId = 1;
    record.imagePath = u"C:\\Apps\\editor.exe";
    record.threads = {{2001, {0, 3}, false}, {2002, {1, 40}, true}};
    const std::vector<std::uint8_t> good = EncodeRaisedRecord(record);
    RaisedRecord back;
    ASSERT_TRUE(DecodeRaisedRecord(good.data(), good.size(), &back));
    EXPECT_EQ(back.processId, 200u);
    EXPECT_EQ(back.creationTime, 777);
    EXPECT_EQ(back.imagePath, record.imagePath);
    ASSERT_EQ(back.threads.size(), 2u);
    EXPECT_TRUE(back.threads[1].ex);
    EXPECT_EQ(back.threads[1].ideal, (ProcessorNumber{1, 40}));

    // Offsets: magic 0, then 4 + 8 + 4 + 4 + 4 bytes of fields, the path's length at 28.
    const auto patched = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> bytes = good;
        std::memcpy(&bytes[at], &value, 4);
        return bytes;
    };
    const std::size_t threadCountAt = 32 + record.imagePath.size() * 2;
    std::vector<std::uint8_t> otherMagic = good;
    otherMagic[3] = '1';  // the layout of an earlier release: no image or session to check
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.end() - 1),
        patched(threadCountAt, 1u << 30),
        patched(28, 1u << 30),
        patched(28, static_cast<std::uint32_t>(record.imagePath.size() + 1)),
        otherMagic,
    };
    for (const auto& bytes : bad) EXPECT_FALSE(DecodeRaisedRecord(bytes.data(), bytes.size(), &back)) << bytes.size();

    // Such a record in the user's key is removed at start and touches nothing.
    Rig r;
    r.sim.world.SetDword(kSettings, u"RestoreOnExit", 1);
    r.sim.world.processes[200].priorityClass = w32::kHighPriorityClass;
    r.sim.world.Key(kUserKey).values[u"RAISEDPROCESS"] = {u"RaisedProcess",
                                                          sim::RegValue{w32::kRegBinary, patched(threadCountAt, 1u << 30)}};
    EXPECT_FALSE(r.keeper.RestoreLeftOver());
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.sim.world.Value(kUserKey, u"RaisedProcess"), nullptr);
}

}  // namespace
}  // namespace kx
