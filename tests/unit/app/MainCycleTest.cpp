#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/MainCycle.h"
#include "platform/Failure.h"

namespace kx {
namespace {

enum class Raise { Nothing, Failure, StdException, Other };

// Five stages that record their runs; stage `failing` raises `raise` once.
struct RecordingStages {
    std::vector<std::string> runs;
    int failing = 0;
    Raise raise = Raise::Nothing;
    bool loadTrayIcon = true;
    std::vector<bool> updateArguments;

    void Step(int stage) {
        runs.push_back(std::to_string(stage));
        if (stage != failing) return;
        const Raise r = raise;
        raise = Raise::Nothing;
        switch (r) {
            case Raise::Failure: throw Failure("Cannot remove shell notification icon");
            case Raise::StdException: throw std::invalid_argument("'word' is not a valid integer value");
            case Raise::Other: throw 42;
            case Raise::Nothing: break;
        }
    }
    TickStages Stages() {
        TickStages stages;
        stages.acceleration = [this] { Step(1); };
        stages.blockListReload = [this] { Step(2); };
        stages.trayVisibility = [this] {
            Step(3);
            return loadTrayIcon;
        };
        stages.updateNotice = [this](bool shown) {
            updateArguments.push_back(shown);
            Step(4);
        };
        stages.iconRefresh = [this] { Step(5); };
        return stages;
    }
};

TEST(MainCycleTick, RunsTheFiveStagesInOrderAndHandsTheVisibilityOn) {
    RecordingStages recording;
    MainCycle cycle(recording.Stages());
    cycle.MainTimerTimer();
    recording.loadTrayIcon = false;
    cycle.MainTimerTimer();
    EXPECT_EQ(recording.runs, (std::vector<std::string>{"1", "2", "3", "4", "5", "1", "2", "3", "4", "5"}));
    EXPECT_EQ(recording.updateArguments, (std::vector<bool>{true, false}));
}

struct FailureCase {
    int failing;
    Raise raise;
};

class MainCycleGuard : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MainCycleGuard, AFailingStageEndsOnlyItselfAndTheLaterStagesOfTheTickStillRun) {
    const FailureCase& c = GetParam();
    RecordingStages recording;
    recording.failing = c.failing;
    recording.raise = c.raise;
    recording.loadTrayIcon = false;
    MainCycle cycle(recording.Stages());

    EXPECT_NO_THROW(cycle.MainTimerTimer());
    EXPECT_EQ(recording.runs, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_FALSE(cycle.Running());
    // A failed visibility stage hands on the default of LoadTrayIcon.
    EXPECT_EQ(recording.updateArguments, std::vector<bool>{c.failing == 3});

    recording.runs.clear();
    cycle.MainTimerTimer();
    EXPECT_EQ(recording.runs, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

INSTANTIATE_TEST_SUITE_P(Stages, MainCycleGuard,
                         ::testing::Values(FailureCase{1, Raise::StdException}, FailureCase{2, Raise::Other},
                                           FailureCase{3, Raise::Failure}, FailureCase{4, Raise::Failure},
                                           FailureCase{5, Raise::StdException}));

TEST(MainCycleTick, EmptyStagesAreSkippedAndTheUpdateStageThenSeesTheIconShown) {
    std::vector<bool> updateArguments;
    TickStages stages;
    stages.updateNotice = [&](bool shown) { updateArguments.push_back(shown); };
    MainCycle cycle(std::move(stages));
    cycle.MainTimerTimer();
    EXPECT_EQ(updateArguments, std::vector<bool>{true});
    MainCycle empty;
    EXPECT_NO_THROW(empty.MainTimerTimer());
}

TEST(MainCycleTick, ATickArrivingDuringATickIsDropped) {
    int accelerations = 0;
    MainCycle cycle;
    // A stage that handles waiting messages could let the next timer message in.
    cycle.Stages().acceleration = [&] {
        ++accelerations;
        cycle.MainTimerTimer();
    };
    cycle.MainTimerTimer();
    EXPECT_EQ(accelerations, 1);
    cycle.MainTimerTimer();
    EXPECT_EQ(accelerations, 2);
}

}  // namespace
}  // namespace kx
