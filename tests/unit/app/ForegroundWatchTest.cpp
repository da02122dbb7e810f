// The immediate boost's window events: hooked only while InstantBoost is on,
// each one no more than a comparison, and a look rate that no flood of
// events from another program can push past one per kLookSpacingMs.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "PerfBlockBuilder.h"
#include "app/ForegroundWatch.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

const Text kSettings = u"HKLM\\Software\\VELMOR\\Kestrix";

// The entry's side: the hooks installed, and the look timer as the message
// loop would fire it.
struct FakeEvents : IForegroundEvents {
    bool Hook(std::uint32_t first, std::uint32_t last) override {
        hooks.emplace_back(first, last);
        return true;
    }
    void UnhookAll() override { hooks.clear(); }
    void ArmLookTimer(std::uint32_t milliseconds) override {
        armed = true;
        delay = milliseconds;
    }
    void CancelLookTimer() override { armed = false; }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> hooks;
    bool armed = false;
    std::uint32_t delay = 0;
};

struct Rig : test::StageParts {
    Rig() {
        sim.world.AddProcess(100, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
        sim.world.AddProcess(200, u"\\Device\\HarddiskVolume1\\Apps\\editor.exe");
        a = sim.world.AddWindow(u"Game A", u"GameA", 100, 1001);
        b = sim.world.AddWindow(u"Editor B", u"EditorB", 200, 2001);
        sim.world.performanceData = test::ProcessorBlock({1'000'000'000, 2'000'000'000},
                                                         SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
        blockList.LoadBlockList(u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv");
    }
    std::size_t KeyOpens() const { return sim.world.keyOpens.size(); }
    std::size_t KeyWrites() const {
        std::size_t writes = 0;
        for (const auto& open : sim.world.keyOpens) writes += (open.second & w32::kKeyWrite & ~w32::kKeyRead) != 0;
        return writes;
    }
    Text Handle() const { return settings.RegReadString(u"Handle", u"0"); }
    // The clock moves; a look timer that fell due fires as the message loop would.
    void Advance(std::uint64_t microseconds) {
        elapsedUs += microseconds;
        while (sim.world.tickCountMs < elapsedUs / 1000) {
            ++sim.world.tickCountMs;
            if (events.armed && sim.world.tickCountMs >= armedAtMs + events.delay) watch.LookTimerFired();
        }
    }
    void Event(Hwnd focus) {
        sim.world.foreground = focus;
        const bool wasArmed = events.armed;
        watch.Event();
        if (!wasArmed && events.armed) armedAtMs = sim.world.tickCountMs;
    }

    FakeEvents events;
    ForegroundWatch watch{stage, sim.windows, sim.clock, events, false};
    Hwnd a = 0, b = 0;
    std::uint64_t elapsedUs = 0;
    std::uint64_t armedAtMs = 0;
};

TEST(ForegroundWatch, TheHooksFollowInstantBoostAndCoverOnlyTheForegroundEvents) {
    struct Case {
        const char* name;
        bool underWine;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> hooks;
    };
    const Case cases[] = {
        {"Windows: the foreground event alone", false, {{0x0003, 0x0003}}},
        {"Wine, which sends no foreground event: the creation event besides", true,
         {{0x0003, 0x0003}, {0x8000, 0x8000}}},
    };
    for (const Case& c : cases) {
        Rig r;
        ForegroundWatch watch(r.stage, r.sim.windows, r.sim.clock, r.events, c.underWine);
        watch.Follow(false);
        EXPECT_TRUE(r.events.hooks.empty()) << c.name;
        watch.Follow(true);
        EXPECT_EQ(r.events.hooks, c.hooks) << c.name;
        watch.Follow(true);
        EXPECT_EQ(r.events.hooks, c.hooks) << c.name << ": installed once";
        // Off again: the hooks go, and an event that was already queued does nothing.
        watch.Follow(false);
        EXPECT_TRUE(r.events.hooks.empty()) << c.name;
        r.sim.world.foreground = r.b;
        watch.Event();
        EXPECT_EQ(r.Handle(), u"0") << c.name;
    }
    // Wine is told by what its ntdll exports.
    sim::SimPlatform windows;
    EXPECT_FALSE(RunningUnderWine(windows.libraries));
    sim::SimPlatform wine;
    wine.world.libraries[u"NTDLL.DLL"].entries.insert("wine_get_version");
    EXPECT_TRUE(RunningUnderWine(wine.libraries));
    EXPECT_EQ(wine.world.loadedLibraries.size(), 0u);
}

TEST(ForegroundWatch, ANewForegroundIsRaisedAtOnceAndANullOneChangesNothing) {
    Rig r;
    r.watch.Follow(true);
    r.Event(r.a);
    EXPECT_EQ(r.sim.world.processes[100].priorityClass, w32::kHighPriorityClass);
    EXPECT_EQ(r.Handle(), HandleText(r.a));

    r.Advance(1'000'000);
    const std::size_t opens = r.KeyOpens();
    const std::size_t processOpens = r.sim.processes.openRequests.size();
    for (int i = 0; i < 100; ++i) r.Event(0);
    EXPECT_EQ(r.KeyOpens(), opens);
    EXPECT_EQ(r.sim.processes.openRequests.size(), processOpens);
    EXPECT_FALSE(r.events.armed);
    EXPECT_EQ(r.sim.world.processes[100].priorityClass, w32::kHighPriorityClass) << "nothing put back";
    EXPECT_EQ(r.stage.LookedAt(), r.a);
}

TEST(ForegroundWatch, AFloodOfTenThousandEventsASecondGivesABoundedNumberOfLooksAndWrites) {
    struct Case {
        const char* name;
        int eventsPerSwitch;  // the foreground alternates between A and B every so many events
    };
    const Case cases[] = {{"a new foreground at every event", 1}, {"a new foreground every 50 events", 50},
                          {"the same foreground throughout", 20000}};
    for (const Case& c : cases) {
        Rig r;
        r.watch.Follow(true);
        r.Event(r.a);
        r.Advance(1'000'000);
        const std::size_t opens = r.KeyOpens();
        const std::size_t writes = r.KeyWrites();
        const std::size_t sampleQueries = r.sim.world.performanceQuerySizes.size();
        Hwnd last = r.a;
        for (int i = 0; i < 10000; ++i) {
            if (i % c.eventsPerSwitch == c.eventsPerSwitch - 1) last = last == r.a ? r.b : r.a;
            r.Event(last);
            r.Advance(100);  // 10,000 events in one second
        }
        r.Advance(1'000'000);  // a look still due runs
        const std::size_t looks = r.sim.world.performanceQuerySizes.size() - sampleQueries;
        // At most one look per spacing, and each new window's look writes Handle once.
        const std::size_t bound = 1000 / ForegroundWatch::kLookSpacingMs + 2;
        EXPECT_LE(looks, bound) << c.name;
        EXPECT_LE(r.KeyWrites() - writes, bound) << c.name;
        // Each look reads a handful of settings: no read per event.
        EXPECT_LE(r.KeyOpens() - opens, 8 * bound) << c.name;
        if (c.eventsPerSwitch < 10000) {
            EXPECT_GE(looks, bound / 2) << c.name << ": the boost still follows the foreground";
        } else {
            EXPECT_EQ(r.KeyOpens(), opens) << c.name << ": an unchanged foreground costs no registry read";
        }
        // The window in front at the end is the one raised.
        EXPECT_EQ(r.Handle(), HandleText(last)) << c.name;
        EXPECT_EQ(r.sim.world.processes[last == r.a ? 100 : 200].priorityClass, w32::kHighPriorityClass) << c.name;
    }
}

}  // namespace
}  // namespace kx
