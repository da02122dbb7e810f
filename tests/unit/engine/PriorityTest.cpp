#include <gtest/gtest.h>

#include <functional>

#include "engine/Priority.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

// Two programs, A with two windows and B with one.
struct Rig {
    Rig() {
        sim.world.AddProcess(100, u"a.exe");
        sim.world.AddProcess(200, u"b.exe");
        sim.world.processes[200].priorityClass = w32::kBelowNormalPriorityClass;
        a1 = sim.world.AddWindow(u"A one", u"AClass", 100, 1001);
        a2 = sim.world.AddWindow(u"A two", u"AClass", 100, 1001);
        b = sim.world.AddWindow(u"B", u"BClass", 200, 2001);
    }
    std::uint32_t ClassOf(std::uint32_t pid) { return sim.world.processes[pid].priorityClass; }

    SimPlatform sim;
    PriorityControl control{sim.windows, sim.processes};
    Hwnd a1 = 0, a2 = 0, b = 0;
};

TEST(Priority, LevelsStandForTheirClassesAndOthersForNone) {
    struct Case {
        PriorityLevel level;
        std::uint32_t expectedClass;
    };
    const Case cases[] = {
        {-2, w32::kIdlePriorityClass},   {-1, w32::kBelowNormalPriorityClass},
        {0, w32::kNormalPriorityClass},  {1, w32::kAboveNormalPriorityClass},
        {2, w32::kHighPriorityClass},    {3, w32::kRealtimePriorityClass},
        {-3, w32::kAboveNormalPriorityClass}, {4, w32::kAboveNormalPriorityClass},
        {7, w32::kAboveNormalPriorityClass},
    };
    for (const Case& c : cases) {
        Rig r;
        r.sim.world.processes[100].priorityClass = w32::kAboveNormalPriorityClass;
        r.control.SetProcessPriorityLevel(100, c.level);
        EXPECT_EQ(r.ClassOf(100), c.expectedClass) << c.level;
        EXPECT_EQ(r.sim.processes.openRequests.at(0).access, w32::kProcessSetInformation);
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u);
        // Read back through the window, each class gives its level again.
        if (c.level >= -2 && c.level <= 3) {
            EXPECT_EQ(r.control.GetWindowPriorityLevel(r.a1), c.level);
        }
    }
}

TEST(Priority, ALevelThatCannotBeReadIsNormal) {
    Rig r;
    r.sim.world.processes[100].priorityClass = 0x12345;  // not on the scale
    EXPECT_EQ(r.control.GetWindowPriorityLevel(r.a1), 0);
    r.sim.world.processes[200].grantableRights = w32::kProcessQueryLimitedInformation;
    EXPECT_EQ(r.control.GetWindowPriorityLevel(r.b), 0);
    EXPECT_EQ(r.control.GetWindowPriorityLevel(0), 0);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u);
}

TEST(Priority, RaisingBRestoresA) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    r.control.AccelerateWindow(r.b, 2);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
    EXPECT_EQ(r.control.State().lastWindow, r.b);
    EXPECT_EQ(r.control.State().lastLevel, -1);
    EXPECT_EQ(r.control.State().lastProcess, 200u);
    // B's process stays open while it is the raised one.
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 1u);
    EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u);
}

TEST(Priority, TheSameWindowAgainReadsAndChangesNothing) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    const std::size_t opens = r.sim.processes.openRequests.size();
    r.sim.world.processes[100].priorityClass = w32::kIdlePriorityClass;  // the program lowered itself
    r.control.AccelerateWindow(r.a1, 3);
    EXPECT_EQ(r.sim.processes.openRequests.size(), opens);
    EXPECT_EQ(r.ClassOf(100), w32::kIdlePriorityClass);
}

TEST(Priority, AnotherWindowOfTheSameProgramRestoresAndRaisesItAgain) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    r.control.AccelerateWindow(r.a2, 1);
    // Restored to normal first, so normal is the level remembered now.
    EXPECT_EQ(r.control.State().lastLevel, 0);
    EXPECT_EQ(r.ClassOf(100), w32::kAboveNormalPriorityClass);
    r.control.AccelerateWindow(r.b, 2);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
}

TEST(Priority, ALevelOffTheScaleKeepsTheBookkeepingAndSetsNoClass) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    r.control.AccelerateWindow(r.b, 7);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kBelowNormalPriorityClass);
    EXPECT_EQ(r.control.State().lastWindow, r.b);
    EXPECT_EQ(r.control.State().lastProcess, 200u);
}

TEST(Priority, AnExitedProcessIsNotRestoredAndTheNextIsRaised) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    r.sim.world.processes[100].exited = true;
    r.sim.world.windows.erase(r.a1);
    r.control.AccelerateWindow(r.b, 3);
    EXPECT_EQ(r.ClassOf(200), w32::kRealtimePriorityClass);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 1u);
}

TEST(Priority, TheRestoreChangesOnlyTheProcessItRaisedAndOnlyWhileItHasTheClassItWasGiven) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> meanwhile;  // what happens to A while it is the raised one
        std::uint32_t aAfter;                 // A's class once B is raised
        std::uint32_t newcomerAfter;          // the class of a process that took A's id, if any
    };
    const Case cases[] = {
        {"A as it was raised: put back", [](Rig&) {}, w32::kNormalPriorityClass, 0},
        {"A set a class of its own: kept",
         [](Rig& r) { r.sim.world.processes[100].priorityClass = w32::kIdlePriorityClass; }, w32::kIdlePriorityClass,
         0},
        {"A ended: nothing to put back", [](Rig& r) { r.sim.world.processes[100].exited = true; },
         w32::kHighPriorityClass, 0},
        {"A ended and another program took its id: the newcomer is left alone",
         [](Rig& r) {
             r.sim.world.AddProcess(100, u"newcomer.exe");
             r.sim.world.processes[100].priorityClass = w32::kHighPriorityClass;
         },
         0, w32::kHighPriorityClass},
    };
    for (const Case& c : cases) {
        Rig r;
        r.control.AccelerateWindow(r.a1, 2);
        ASSERT_EQ(r.ClassOf(100), w32::kHighPriorityClass) << c.name;
        const std::uint64_t raisedInstance = r.sim.world.processes[100].instance;
        c.meanwhile(r);
        r.control.AccelerateWindow(r.b, 2);
        EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass) << c.name;
        if (r.sim.world.processes[100].instance == raisedInstance) {
            EXPECT_EQ(r.ClassOf(100), c.aAfter) << c.name;
        } else {
            EXPECT_EQ(r.ClassOf(100), c.newcomerAfter) << c.name;
        }
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 1u) << c.name << ": only B's process is held";
        EXPECT_EQ(r.sim.world.handles.BadCloses(), 0u) << c.name;
    }
}

TEST(Priority, AProcessThatCannotBeReadAndSetIsNotRaisedAndNotHeld) {
    Rig r;
    r.sim.world.processes[200].grantableRights = w32::kProcessSetInformation;
    r.control.AccelerateWindow(r.b, 2);
    EXPECT_EQ(r.ClassOf(200), w32::kBelowNormalPriorityClass);
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u);
    // Nothing was given, so a later switch puts nothing back.
    r.sim.world.processes[200].grantableRights = 0xFFFFFFFFu;
    r.sim.world.processes[200].priorityClass = w32::kHighPriorityClass;
    r.control.AccelerateWindow(r.a1, 2);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
}

TEST(Priority, TheNullWindowRestoresThePreviousAndRaisesNothing) {
    Rig r;
    r.control.AccelerateWindow(r.a1, 2);
    r.control.AccelerateWindow(0, 2);
    EXPECT_EQ(r.ClassOf(100), w32::kNormalPriorityClass);
    EXPECT_EQ(r.control.State().lastWindow, 0u);
    EXPECT_EQ(r.control.State().lastProcess, 0u);
    // Nothing to restore afterwards: A, raised meanwhile by someone else, keeps its class.
    r.sim.world.processes[100].priorityClass = w32::kHighPriorityClass;
    r.control.AccelerateWindow(r.b, 2);
    EXPECT_EQ(r.ClassOf(100), w32::kHighPriorityClass);
    EXPECT_EQ(r.ClassOf(200), w32::kHighPriorityClass);
}

}  // namespace
}  // namespace kx
