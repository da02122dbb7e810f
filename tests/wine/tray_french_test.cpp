// wine-test: version=win7 desktop=yes timeout=120
// With Language set to the French table's name the menu shows the French
// captions, and their access keys work.
#include "tray_support.h"

namespace {

using traytest::TrayProgram;

class TrayFrench : public TrayProgram {};

TEST_F(TrayFrench, TheMenuShowsTheFrenchCaptions) {
    StartTray(L"French");
    const POINT icon = IconPoint();
    HWND menu = OpenMenu(icon);
    ASSERT_NE(menu, nullptr);
    ::Sleep(300);
    const traytest::MenuShot shown = traytest::CaptureMenu(menu);
    traytest::PressKey(VK_ESCAPE);
    ASSERT_TRUE(kxtest::WaitUntil([] { return traytest::VisibleMenu() == nullptr; }, 5000));

    const traytest::MenuShot expected = traytest::CaptureReferenceMenu(
        {L"Ouvrir &Kestrix", L"-", L"&V\u00e9rifier les mises \u00e0 jour", L"-", L"&Aide", L"-", L"&Quitter"}, icon);
    EXPECT_TRUE(traytest::SameMenus(shown, expected, L"tray-menu-french"))
        << "the menu differs from the French one";

    // "&Quitter": Q is the French Exit's access key.
    ASSERT_NE(OpenMenu(icon), nullptr);
    traytest::PressKey('Q');
    EXPECT_TRUE(tray.WaitForExit(10000)) << "Q did not choose the French Exit";
}

}  // namespace
