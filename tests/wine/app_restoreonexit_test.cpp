// wine-test: version=win7 desktop=yes timeout=240
// RestoreOnExit on the real platform: a program the tray raised to high is
// back at normal after Exit through the menu, after WM_CLOSE from another
// process, and after the tray was killed, once it starts again.
#include "tray_support.h"

namespace {

using kxtest::HelperWindow;
using traytest::TrayProgram;

constexpr DWORD kTickBound = 10000;

DWORD ClassOf(const HelperWindow& helper) { return kxtest::PriorityClassOf(helper.pid); }

bool ClassBecomes(const HelperWindow& helper, DWORD priorityClass, DWORD bound) {
    return kxtest::WaitUntil([&] { return ClassOf(helper) == priorityClass; }, bound);
}

// The record a run keeps under the current user's key while a program is raised.
bool RecordKept() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VELMOR\\Kestrix", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool kept = ::RegQueryValueExW(key, L"RaisedProcess", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return kept;
}

class AppRestoreOnExit : public TrayProgram {
protected:
    void SetUp() override {
        TrayProgram::SetUp();
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\VELMOR\\Kestrix", L"RaisedProcess");
        ASSERT_TRUE(kxtest::SetDwordValue(L"RestoreOnExit", 1));
        StartTray();
        helper_ = kxtest::StartHelperWindow(L"TKXRestoreHelper", L"Restore test");
        ASSERT_NE(helper_.window, nullptr);
        ASSERT_TRUE(kxtest::BringToFront(helper_.window));
        ASSERT_TRUE(ClassBecomes(helper_, HIGH_PRIORITY_CLASS, kTickBound)) << "the helper was never raised";
        // The record follows the raise within the same tick: awaited, not sampled.
        EXPECT_TRUE(kxtest::WaitUntil([] { return RecordKept(); }, kTickBound));
    }

    HelperWindow helper_;
};

TEST_F(AppRestoreOnExit, ExitThroughTheMenuPutsTheRaisedProgramBack) {
    ASSERT_NE(OpenMenu(IconPoint()), nullptr);
    traytest::PressKey('E');
    ASSERT_TRUE(tray.WaitForExit(15000)) << "KestrixTray did not end";
    EXPECT_EQ(ClassOf(helper_), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(RecordKept());
}

TEST_F(AppRestoreOnExit, WmCloseFromAnotherProcessPutsTheRaisedProgramBack) {
    ASSERT_EQ(kxtest::RunProgram(L"kxtesthelper.exe", L"sendclose TKXTrayForm", 15000), 0);
    ASSERT_TRUE(tray.WaitForExit(15000)) << "KestrixTray did not end";
    EXPECT_EQ(ClassOf(helper_), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(RecordKept());
}

TEST_F(AppRestoreOnExit, AfterTheTrayWasKilledTheNextStartPutsTheRaisedProgramBack) {
    tray.Terminate();
    ASSERT_FALSE(tray.Running());
    EXPECT_EQ(ClassOf(helper_), static_cast<DWORD>(HIGH_PRIORITY_CLASS)) << "nothing could have put it back";
    EXPECT_TRUE(RecordKept());

    StartTray();
    EXPECT_TRUE(ClassBecomes(helper_, NORMAL_PRIORITY_CLASS, kTickBound)) << "the next start left it raised";
    // The record goes right after the class is put back, so it is awaited, not sampled.
    EXPECT_TRUE(kxtest::WaitUntil([] { return !RecordKept(); }, kTickBound)) << "the record was kept";
    EXPECT_EQ(ClassOf(helper_), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

}  // namespace
