// wine-test: version=win7 desktop=yes timeout=180
// Exit from the tray menu: the main program's windows are closed, dialogs
// first, the program ends and its icon leaves the taskbar; a main window
// that never answers holds Exit up for a bounded time only.
#include "tray_support.h"

namespace {

using traytest::LogLines;
using traytest::TrayProgram;

class TrayExit : public TrayProgram {
protected:
    kxtest::Program StartMainProgram(const std::wstring& arguments) {
        kxtest::Program main = kxtest::StartProgram(L"Kestrix.exe", arguments);
        EXPECT_TRUE(main.Started());
        EXPECT_NE(kxtest::WaitForWindow(L"TKXMainForm", 10000), nullptr);
        return main;
    }
};

TEST_F(TrayExit, ClosesTheSettingsDialogThenTheMainWindowThenEnds) {
    StartTray();
    const POINT icon = IconPoint();
    kxtest::Program main = StartMainProgram(L"--show settings");
    ASSERT_NE(kxtest::WaitForWindow(L"TKXSettingsForm", 10000), nullptr);

    ASSERT_NE(OpenMenu(icon), nullptr);
    traytest::PressKey('E');

    EXPECT_TRUE(tray.WaitForExit(15000)) << "KestrixTray did not end";
    EXPECT_TRUE(main.WaitForExit(5000)) << "the main program did not end";
    const auto lines = LogLines();
    std::vector<std::string> closed;
    for (const auto& line : lines) {
        if (line.rfind("Kestrix.exe closed ", 0) == 0) closed.push_back(line.substr(19));
    }
    EXPECT_EQ(closed, (std::vector<std::string>{"TKXSettingsForm", "TKXMainForm"}));
    EXPECT_TRUE(traytest::WaitForIconShown(false, 5000))
        << "the icon stayed in the taskbar";
    kxtest::SaveScreenshot(L"tray-after-exit");
}

TEST_F(TrayExit, AMainWindowThatNeverAnswersHoldsExitUpForABoundedTime) {
    StartTray();
    const POINT icon = IconPoint();
    kxtest::Program main = StartMainProgram(L"--hang-on-close");

    ASSERT_NE(OpenMenu(icon), nullptr);
    const DWORD start = ::GetTickCount();
    traytest::PressKey('E');
    EXPECT_TRUE(tray.WaitForExit(15000)) << "Exit waited without bound";
    const DWORD took = ::GetTickCount() - start;
    EXPECT_LT(took, 12000u);
    std::printf("Exit with a main window that never answers took %lu ms\n", static_cast<unsigned long>(took));
    main.Terminate();
}

TEST_F(TrayExit, WmCloseFromAnotherProcessEndsTheProgramAndRemovesTheIcon) {
    StartTray();
    IconPoint();
    ::PostMessageW(kxtest::FindTopWindow(L"TKXTrayForm"), WM_CLOSE, 0, 0);
    EXPECT_TRUE(tray.WaitForExit(10000));
    EXPECT_TRUE(traytest::WaitForIconShown(false, 5000));
}

}  // namespace
