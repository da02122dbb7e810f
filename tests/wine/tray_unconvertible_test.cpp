// wine-test: version=win10 desktop=yes timeout=180
// The real KestrixTray.exe started with words where its settings key holds
// numbers (Handle and UpdatedDate, which any account can write): the values
// read as their defaults, so the tray still raises the window in front and
// its load graph still moves in the notification area.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "WineTestSupport.h"
#include "tray_support.h"

namespace {

constexpr DWORD kTickBound = 10000;

// The picture in the first icon cell of the notification area now; empty
// when the screen cannot be read.
std::vector<std::uint32_t> IconPicture() {
    std::vector<std::uint32_t> picture;
    traytest::IconCell cell;
    if (!traytest::FirstIconCell(&cell)) return picture;
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    if (screen.Empty()) return picture;
    for (int y = cell.picture.top; y < cell.picture.bottom; ++y) {
        for (int x = cell.picture.left; x < cell.picture.right; ++x) picture.push_back(screen.At(x, y));
    }
    return picture;
}

class TrayUnconvertibleValues : public traytest::TrayProgram {};

TEST_F(TrayUnconvertibleValues, WordsInHandleAndUpdatedDateStopNeitherTheRaiseNorTheGraph) {
    ASSERT_TRUE(kxtest::SetStringValue(L"Handle", L"notanumber"));
    ASSERT_TRUE(kxtest::SetStringValue(L"UpdatedDate", L"yesterday"));
    StartTray();

    kxtest::HelperWindow helper = kxtest::StartHelperWindow(L"TKXUnconvertible", L"Unconvertible values");
    ASSERT_NE(helper.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(helper.window));
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] { return kxtest::PriorityClassOf(helper.pid) == static_cast<DWORD>(HIGH_PRIORITY_CLASS); }, kTickBound))
        << "the window in front was not raised";
    // The look writes Handle after it has raised the process.
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] { return kxtest::ReadStringValue(L"Handle") == kxtest::HandleText(helper.window); }, kTickBound))
        << "Handle was not written over the word";

    ASSERT_TRUE(traytest::WaitForIconShown(true, kTickBound)) << "no icon in the notification area";
    ::Sleep(1500);  // past the frame shown before the first sample
    const std::vector<std::uint32_t> first = IconPicture();
    ASSERT_FALSE(first.empty());
    // A burst of load gives the newest bars a height the idle ones lack;
    // the graph also scrolls every second on its own.
    kxtest::Program busy = kxtest::StartProgram(L"kxtesthelper.exe", L"busy 2");
    const bool moved = kxtest::WaitUntil([&] { return IconPicture() != first; }, 8000, 250);
    traytest::SaveRegion(L"unconvertible-icon", IconPoint(), 40, 20);
    EXPECT_TRUE(moved) << "the icon's picture stayed the same for 8 seconds";
    busy.WaitForExit(5000);
    helper.program.Terminate();
}

}  // namespace
