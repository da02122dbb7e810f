// wine-test: version=vista desktop=yes timeout=120
// On a release before Windows 7 the graph keeps its classic colours: a blue
// field, a teal grid and white bars.
#include <gtest/gtest.h>

#include "DisplayPictures.h"
#include "WineTestSupport.h"

namespace {

using kxdisplay::kClassicColours;

TEST(GraphIconOnVista, ShowsTheClassicColours) {
    kxtest::DeleteKeyTree();
    kxtest::Program program = kxtest::StartProgram(L"KestrixTray.exe");
    ASSERT_TRUE(program.Started());
    std::optional<kxdisplay::IconOnScreen> icon;
    kxtest::WaitUntil([&] { return (icon = kxdisplay::FindGraphIconNow(kClassicColours)).has_value(); }, 10000, 100);
    kxtest::SaveScreenshot(L"graph-icon-vista");
    ASSERT_TRUE(icon.has_value()) << "no graph icon in the classic colours";

    Sleep(1100);
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    const auto now = kxdisplay::FindGraphIcon(screen, kClassicColours);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(kxdisplay::CheckPicture(screen, *now, kClassicColours), "");
}

}  // namespace
