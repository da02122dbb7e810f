// wine-test: version=win10 desktop=yes timeout=180 dpi=144
// The main program at 144 pixels per inch: its windows and their controls are
// laid out one and a half times as large as at 96, so nothing is cut off.
#include <gtest/gtest.h>

#include <string>

#include "../../programs/main/ControlIds.h"
#include "WineTestSupport.h"

namespace {

TEST(ProductDpi, WindowsScaleWithTheScreen) {
    const std::wstring folder = kxtest::BinFolder() + L"..\\product\\";
    kxtest::Program main = kxtest::StartProgram(folder + L"Kestrix.exe", L"/blocklist", folder);
    ASSERT_TRUE(main.Started());
    HWND form = kxtest::WaitForWindow(L"TKXMainForm", 20000);
    HWND blockList = kxtest::WaitForWindow(L"TKXAddBlockListForm", 20000);
    ASSERT_NE(form, nullptr);
    ASSERT_NE(blockList, nullptr);
    ::Sleep(1500);

    RECT client{};
    ::GetClientRect(form, &client);
    EXPECT_EQ(client.right, 690);   // 460 at 96 pixels per inch
    EXPECT_EQ(client.bottom, 561);  // 374
    RECT button{};
    ::GetWindowRect(::GetDlgItem(form, kxapp::kIdOpenSettings), &button);
    EXPECT_EQ(button.right - button.left, 321);  // 214
    ::GetClientRect(blockList, &client);
    EXPECT_EQ(client.right, 960);  // 640
    kxtest::SaveScreenshot(L"blocklist_144dpi");

    ::SendMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(main.WaitForExit(15000));
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXAddBlockListForm"), nullptr) << "the program ends with its main window";
    if (HWND tray = kxtest::FindTopWindow(L"TKXTrayForm")) ::SendMessageW(tray, WM_CLOSE, 0, 0);
}

}  // namespace
