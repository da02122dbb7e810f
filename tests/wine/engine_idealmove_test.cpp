// wine-test: version=win10 desktop=yes timeout=240 winedebug=warn+seh
// The least-used choice of the real tray program against real performance
// data: the test provider publishes the idle times this test chooses, and
// since Wine's SetThreadIdealProcessor does nothing, each move is read back
// from the line the program writes to the debug output for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugOutput.h"
#include "TestPerfProvider.h"
#include "WineTestSupport.h"

namespace {

using kxtest::HelperWindow;
using kxtest::Program;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr DWORD kStartBound = 20000;  // a first start under Wine can be slow
constexpr DWORD kTickBound = 15000;   // several ticks of the one-second cycle
constexpr char kMovePrefix[] = "KestrixTray: ideal: ";
constexpr LONGLONG kHour = 3600LL * 10000000;

std::vector<std::string> Moves() { return kxtest::DebugOutputLines(kMovePrefix); }

// Waits for a move after the first `seen` ones and returns it (empty if none came).
std::string NextMove(std::size_t seen) {
    std::string line;
    kxtest::WaitUntil(
        [&] {
            const auto moves = Moves();
            if (moves.size() <= seen) return false;
            line = moves[seen];
            return true;
        },
        kTickBound);
    return line;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += "\n  " + line;
    return all;
}

class EngineIdealMove : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DebugOutputLogged()) << "the harness keeps no debug-output log";
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        processors_ = info.dwNumberOfProcessors;
        if (processors_ < 2) GTEST_SKIP() << "one processor: there is no choice to make";
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_TRUE(kxtest::RegisterTestPerfProvider());
    }
    void TearDown() override {
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        tray_.WaitForExit(15000);
        kxtest::UnregisterTestPerfProvider();
        kxtest::DeleteKeyTree();
    }

    // The tray program started, the helper window in front and its move made;
    // returns the move's line.
    std::string StartAndFocus(const wchar_t* program, HelperWindow* helper) {
        tray_ = kxtest::StartProgram(program);
        EXPECT_TRUE(tray_.Started());
        EXPECT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
        *helper = kxtest::StartHelperWindow(L"TKXIdealMove", L"Ideal move test");
        EXPECT_NE(helper->window, nullptr);
        const std::size_t before = Moves().size();
        EXPECT_TRUE(kxtest::BringToFront(helper->window));
        EXPECT_TRUE(kxtest::WaitUntil(
            [&] { return kxtest::ReadStringValue(L"Handle") == kxtest::HandleText(helper->window); }, kTickBound));
        // The move follows the write of Handle in the same tick; a tick for
        // another window before it is passed over.
        std::string line;
        kxtest::WaitUntil(
            [&] {
                const auto moves = Moves();
                if (moves.size() <= before) return false;
                line = moves.back();
                return true;
            },
            kTickBound);
        return line;
    }

    DWORD processors_ = 0;
    Program tray_;
};

TEST_F(EngineIdealMove, TheProgramInFrontGetsTheProcessorTheDataShowsLeastUsed) {
    // The last processor has had the most idle time since the system started.
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(kxtest::IdleTimesFavouring(processors_, processors_ - 1, kHour)));
    HelperWindow helper;
    const std::string move = StartAndFocus(L"KestrixTray.exe", &helper);
    const std::string expected = "processor " + std::to_string(processors_ - 1) + " ";
    EXPECT_NE(move.find(expected), std::string::npos) << move << "\nall moves:" << Joined(Moves());
    EXPECT_EQ(move.find("set on 0 threads"), std::string::npos) << move;
    EXPECT_GE(kxtest::TestPerfCollectCount(), 1u);
}

TEST_F(EngineIdealMove, TheRefreshMovesToTheProcessorLeastUsedSinceTheLastMove) {
    std::vector<LONGLONG> idle(processors_ + 1, kHour);
    idle[0] += 10 * kHour;
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(idle));
    HelperWindow helper;
    const std::string first = StartAndFocus(L"KestrixTrayTestRefresh.exe", &helper);
    EXPECT_NE(first.find("processor 0 "), std::string::npos) << first;

    // From now on the last processor idles most; processor 0, ahead in total,
    // no more. (Figures that did not change would tie and give processor 0.)
    for (LONGLONG& value : idle) value += 5 * kHour;
    idle[processors_ - 1] += 15 * kHour;
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(idle));
    const std::size_t seen = Moves().size();
    const std::string refresh = NextMove(seen);
    ASSERT_FALSE(refresh.empty()) << "no refresh came; moves:" << Joined(Moves());
    EXPECT_NE(refresh.find("processor " + std::to_string(processors_ - 1) + " "), std::string::npos) << refresh;
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), kxtest::HandleText(helper.window)) << "the focus moved";
}

}  // namespace
