// wine-test: version=win7 desktop=yes timeout=180
// The load graph in the notification area of a Windows 7 desktop: it comes
// about two seconds after the start in the frame greys and the colours of the
// release, its bars rise while the processors are busy, and LoadTrayIcon
// takes it away and brings it back.
#include <gtest/gtest.h>

#include <chrono>

#include "DisplayPictures.h"
#include "WineTestSupport.h"

namespace {

using kxdisplay::CheckPicture;
using kxdisplay::FindGraphIconNow;
using kxdisplay::kWindows7Colours;

class GraphIconOnWindows7 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        kxtest::DeleteKeyTree();
        started_ = std::chrono::steady_clock::now();
        program_ = new kxtest::Program(kxtest::StartProgram(L"KestrixTray.exe"));
    }
    static void TearDownTestSuite() {
        delete program_;  // ends the program
        program_ = nullptr;
        kxtest::DeleteKeyTree();
    }
    void SetUp() override {
        ASSERT_TRUE(program_->Started());
        ASSERT_TRUE(program_->Running());
    }
    // Waits at most timeoutMs for the graph icon.
    static std::optional<kxdisplay::IconOnScreen> WaitForIcon(DWORD timeoutMs) {
        std::optional<kxdisplay::IconOnScreen> icon;
        kxtest::WaitUntil([&] { return (icon = FindGraphIconNow(kWindows7Colours)).has_value(); }, timeoutMs, 100);
        return icon;
    }

    static kxtest::Program* program_;
    static std::chrono::steady_clock::time_point started_;
};

kxtest::Program* GraphIconOnWindows7::program_ = nullptr;
std::chrono::steady_clock::time_point GraphIconOnWindows7::started_;

TEST_F(GraphIconOnWindows7, AppearsAboutTwoSecondsAfterTheStartInTheReleaseColours) {
    const std::optional<kxdisplay::IconOnScreen> icon = WaitForIcon(10000);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    kxtest::SaveScreenshot(L"graph-icon-win7");
    ASSERT_TRUE(icon.has_value()) << "no graph icon on the screen";
    RecordProperty("seconds_until_icon", std::to_string(seconds));
    std::printf("graph icon at %d,%d, %d pixels, %.2f s after the start\n", icon->left, icon->top, icon->side,
                seconds);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LE(seconds, 6.0);
    EXPECT_EQ(icon->side, 16);
    // The next picture, as a whole, follows every rule of the graph.
    Sleep(1100);
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    const auto now = kxdisplay::FindGraphIcon(screen, kWindows7Colours);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(CheckPicture(screen, *now, kWindows7Colours), "");
}

// The top row of the newest bar now; 0 when the icon is not on the screen.
int NewestBarTop() {
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    const auto icon = kxdisplay::FindGraphIcon(screen, kWindows7Colours);
    return icon ? kxdisplay::BarTop(screen, *icon, icon->side - 2, kWindows7Colours) : 0;
}

TEST_F(GraphIconOnWindows7, BarsRiseWhileTheProcessorsAreBusy) {
    ASSERT_TRUE(WaitForIcon(10000).has_value());
    // The whole machine's load is shown: wait for a quieter second (below
    // about half the height) so that the rise is the helper's doing.
    if (!kxtest::WaitUntil([] { return NewestBarTop() >= 8; }, 15000, 250)) {
        GTEST_SKIP() << "the machine stayed busy; no quiet second to start from";
    }
    kxtest::Program busy = kxtest::StartProgram(L"kxtesthelper.exe", L"busy 15");
    ASSERT_TRUE(busy.Started());
    // The newest column shows at least 80 % within a few seconds.
    int newestTop = 0;
    const bool rose = kxtest::WaitUntil(
        [&] {
            newestTop = NewestBarTop();
            return newestTop != 0 && newestTop <= 3;
        },
        8000, 200);
    kxtest::SaveScreenshot(L"graph-icon-busy");
    EXPECT_TRUE(rose) << "the newest bar stands at row " << newestTop;
    busy.Terminate();
}

TEST_F(GraphIconOnWindows7, LoadTrayIconRemovesTheIconAndBringsItBack) {
    ASSERT_TRUE(WaitForIcon(10000).has_value());
    ASSERT_TRUE(kxtest::SetDwordValue(L"LoadTrayIcon", 0));
    EXPECT_TRUE(kxtest::WaitUntil([] { return !FindGraphIconNow(kWindows7Colours).has_value(); }, 3000, 100))
        << "the icon is still shown";
    kxtest::SaveScreenshot(L"graph-icon-removed");

    // Shown again on the next tick, after its one-second wait.
    ASSERT_TRUE(kxtest::SetDwordValue(L"LoadTrayIcon", 1));
    const auto icon = WaitForIcon(5000);
    EXPECT_TRUE(icon.has_value()) << "the icon did not come back";
}

}  // namespace
