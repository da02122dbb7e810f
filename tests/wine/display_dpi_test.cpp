// wine-test: version=win7 desktop=yes timeout=120 dpi=144
// At a larger scaling of the screen (144 pixels per inch, 150 %) the small
// icon metrics grow, and the graph is drawn at that size, pixel for pixel,
// with the same frame, grid and bars.
#include <gtest/gtest.h>

#include "DisplayPictures.h"
#include "WineTestSupport.h"

namespace {

using kxdisplay::kWindows7Colours;

TEST(GraphIconAtLargerScaling, IsDrawnAtTheSmallIconSizeOfTheScreen) {
    const int side = GetSystemMetrics(SM_CXSMICON);
    std::printf("SM_CXSMICON %d, SM_CYSMICON %d at 144 pixels per inch\n", side, GetSystemMetrics(SM_CYSMICON));
    ASSERT_GT(side, 16) << "the scaling did not take effect";

    kxtest::DeleteKeyTree();
    kxtest::Program program = kxtest::StartProgram(L"KestrixTray.exe");
    ASSERT_TRUE(program.Started());
    std::optional<kxdisplay::IconOnScreen> icon;
    kxtest::WaitUntil([&] { return (icon = kxdisplay::FindGraphIconNow(kWindows7Colours)).has_value(); }, 10000, 100);
    kxtest::SaveScreenshot(L"graph-icon-144dpi");
    ASSERT_TRUE(icon.has_value()) << "no graph icon on the screen";
    EXPECT_EQ(icon->side, side);

    Sleep(1100);
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    const auto now = kxdisplay::FindGraphIcon(screen, kWindows7Colours);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(kxdisplay::CheckPicture(screen, *now, kWindows7Colours), "");
}

}  // namespace
