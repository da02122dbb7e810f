// wine-test: version=win7 desktop=yes timeout=240
// KestrixTray in a virtual desktop with a taskbar: its icon, its menu and the
// commands behind it, the mouse on the icon, and the icon's return when the
// taskbar starts anew.
#include "tray_support.h"

#include <shellapi.h>

namespace {

using traytest::LogHas;
using traytest::TrayProgram;

class TrayMenu : public TrayProgram {};

TEST_F(TrayMenu, TheIconAppearsAndTheProgramRunsAtHighPriority) {
    const DWORD start = ::GetTickCount();
    StartTray();
    const POINT icon = IconPoint();
    std::printf("the icon stood in the taskbar %lu ms after the start\n",
                static_cast<unsigned long>(::GetTickCount() - start));
    traytest::SaveRegion(L"tray-icon", icon, 48, 24);
    kxtest::SaveScreenshot(L"tray-desktop");
    EXPECT_EQ(kxtest::PriorityClassOf(tray.Pid()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
}

TEST_F(TrayMenu, ARightClickOpensTheMenuAndOpenStartsTheMainProgram) {
    StartTray();
    const POINT icon = IconPoint();
    const DWORD clicked = ::GetTickCount();
    HWND menu = OpenMenu(icon);
    ASSERT_NE(menu, nullptr) << "no menu opened";
    std::printf("the menu stood open %lu ms after the right click began\n",
                static_cast<unsigned long>(::GetTickCount() - clicked));
    ::Sleep(300);
    const traytest::MenuShot shown = traytest::CaptureMenu(menu);
    EXPECT_EQ(shown.rect.right, icon.x) << "the menu's right edge stands at the cursor";

    // The texts, the separators and the bold default item, compared with the
    // same menu drawn by the test itself.
    traytest::PressKey(VK_ESCAPE);
    ASSERT_TRUE(kxtest::WaitUntil([] { return traytest::VisibleMenu() == nullptr; }, 5000));
    const traytest::MenuShot expected = traytest::CaptureReferenceMenu(
        {L"Open &Kestrix", L"-", L"&Check for updates", L"-", L"&Help", L"-", L"&Exit"}, icon);
    EXPECT_TRUE(traytest::SameMenus(shown, expected, L"tray-menu")) << "the menu differs from the expected one";

    menu = OpenMenu(icon);
    ASSERT_NE(menu, nullptr);
    RECT rect{};
    ::GetWindowRect(menu, &rect);
    // The first item, a few pixels below the menu's top edge.
    kxtest::Click(rect.left + 30, rect.top + 10);
    EXPECT_NE(kxtest::WaitForWindow(L"TKXMainForm", 10000), nullptr) << "the main program did not start";
    EXPECT_TRUE(LogHas("Kestrix.exe started"));
}

TEST_F(TrayMenu, ADoubleClickStartsTheMainProgramAndASingleClickDoesNothing) {
    StartTray();
    const POINT icon = IconPoint();
    kxtest::Click(icon.x, icon.y);
    ::Sleep(1500);
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXMainForm"), nullptr);
    EXPECT_EQ(traytest::VisibleMenu(), nullptr);

    kxtest::DoubleClick(icon.x, icon.y);
    EXPECT_NE(kxtest::WaitForWindow(L"TKXMainForm", 10000), nullptr) << "the double click started nothing";
}

TEST_F(TrayMenu, CheckForUpdatesStartsTheUpdater) {
    StartTray();
    ASSERT_NE(OpenMenu(IconPoint()), nullptr);
    traytest::PressKey('C');
    EXPECT_TRUE(kxtest::WaitUntil([] { return LogHas("KestrixUpdate.exe started 0"); }, 10000))
        << "the updater was not started, or not without arguments";
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXMainForm"), nullptr);
}

TEST_F(TrayMenu, HelpOpensTheTopicInTheHelpFilesWindow) {
    StartTray();
    ASSERT_NE(OpenMenu(IconPoint()), nullptr);
    traytest::PressKey('H');
    // The help viewer's frame takes its title from the window type HelpWindow.
    HWND help = nullptr;
    kxtest::WaitUntil([&] { return (help = ::FindWindowW(nullptr, L"Kestrix Help")) != nullptr; }, 15000);
    kxtest::SaveScreenshot(L"tray-help");
    EXPECT_NE(help, nullptr) << "no help window titled by the window type";
    if (help != nullptr) ::PostMessageW(help, WM_CLOSE, 0, 0);
}

TEST_F(TrayMenu, TheIconComesBackWhenTheTaskbarStartsAnew) {
    StartTray();
    IconPoint();
    // The taskbar loses the icon, as a restarted shell would...
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = kxtest::FindTopWindow(L"TKXTrayIconWindow");
    data.uID = 1;
    ASSERT_NE(data.hWnd, nullptr);
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_TRUE(traytest::WaitForIconShown(false, 5000));
    // The next picture the shell refuses tells the widget that the icon is
    // gone; a later tick adds it again, without waiting for the taskbar.
    EXPECT_TRUE(traytest::WaitForIconShown(true, 6000)) << "a lost icon did not come back by itself";

    // The taskbar loses it again and announces itself; the widget adds it again.
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                          &answer);
    EXPECT_TRUE(traytest::WaitForIconShown(true, 5000)) << "the icon did not come back";
}

}  // namespace
