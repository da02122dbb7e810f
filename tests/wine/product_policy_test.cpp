// wine-test: version=win7 desktop=yes timeout=300
// Policies under HKLM\Software\Policies\VELMOR\Kestrix against the real
// programs: ProcessorPriority 0 there and 2 in the settings key keeps the
// program in front at normal, and lifting the policy lets the next one be
// raised; the main program's settings window shows what a policy sets as the
// organisation's, disabled, and lays itself out without a gap in every
// language (screenshots of each are left as artefacts).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "../../programs/main/ControlIds.h"
#include "WineTestSupport.h"

namespace {

using kxtest::BringToFront;
using kxtest::HandleText;
using kxtest::HelperWindow;
using kxtest::Program;
using kxtest::StartHelperWindow;

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\VELMOR\\Kestrix";
constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 10000;

std::wstring ProductFolder() { return kxtest::BinFolder() + L"..\\product\\"; }

void CloseAll() {
    for (const wchar_t* name : {L"TKXAdvancedSettingsForm", L"TKXSettingsForm", L"TKXMainForm", L"TKXTrayForm"}) {
        if (HWND window = kxtest::FindTopWindow(name)) ::SendMessageW(window, WM_CLOSE, 0, 0);
    }
    kxtest::WaitUntil([] { return kxtest::FindTopWindow(L"TKXTrayForm") == nullptr; }, 10000);
}

class ProductPolicy : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_TRUE(kxtest::DeleteKeyTree(kPolicyKey));
    }
    void TearDown() override {
        CloseAll();
        main_.WaitForExit(10000);
        tray_.WaitForExit(10000);
        kxtest::DeleteKeyTree(kPolicyKey);
        kxtest::DeleteKeyTree();
    }
    Program tray_;
    Program main_;
};

TEST_F(ProductPolicy, APolicysPriorityWinsOverTheSettingAndIsReadAgainWhenLifted) {
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 2));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 0, kPolicyKey));
    tray_ = kxtest::StartProgram(L"KestrixTray.exe");
    ASSERT_TRUE(tray_.Started());
    ASSERT_NE(kxtest::WaitForWindow(L"TKXTrayForm", kStartBound), nullptr);

    HelperWindow first = StartHelperWindow(L"TKXPolicyFirst", L"Policy test first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(BringToFront(first.window));
    ASSERT_TRUE(kxtest::WaitUntil([&] { return kxtest::ReadStringValue(L"Handle") == HandleText(first.window); },
                                  kTickBound))
        << "the window in front was never taken up";
    ::Sleep(1500);
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS))
        << "the settings key's 2 won over the policy's 0";

    // The organisation lifts it: the next program in front gets the user's level.
    ASSERT_TRUE(kxtest::DeleteValue(L"ProcessorPriority", kPolicyKey));
    HelperWindow second = StartHelperWindow(L"TKXPolicySecond", L"Policy test second");
    ASSERT_NE(second.window, nullptr);
    ASSERT_TRUE(BringToFront(second.window));
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] { return kxtest::PriorityClassOf(second.pid) == static_cast<DWORD>(HIGH_PRIORITY_CLASS); }, kTickBound));
}

// The box of a control in the client coordinates of its window.
RECT BoxOf(HWND form, int id) {
    RECT box{};
    HWND control = ::GetDlgItem(form, id);
    ::GetWindowRect(control, &box);
    ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

TEST_F(ProductPolicy, TheSettingsWindowShowsPoliciesDisabledAndHasNoGapInAnyLanguage) {
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorIdeal", 0, kPolicyKey));
    ASSERT_TRUE(kxtest::SetDwordValue(L"LoadTrayIcon", 1, kPolicyKey));
    ASSERT_TRUE(kxtest::SetStringValue(L"BarColor", L"clRed", kPolicyKey));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorIdeal", 1));

    for (const wchar_t* language : {L"english", L"french", L"korean", L"prtbrzl", L"russian"}) {
        SCOPED_TRACE(std::string(language, language + wcslen(language)));
        ASSERT_TRUE(kxtest::SetStringValue(L"Language", language));
        main_ = kxtest::StartProgram(ProductFolder() + L"Kestrix.exe", L"", ProductFolder());
        ASSERT_TRUE(main_.Started());
        HWND mainForm = kxtest::WaitForWindow(L"TKXMainForm", kStartBound);
        ASSERT_NE(mainForm, nullptr);
        ::SendMessageW(mainForm, WM_COMMAND, MAKEWPARAM(kxapp::kIdOpenSettings, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(mainForm, kxapp::kIdOpenSettings)));
        HWND settings = kxtest::WaitForWindow(L"TKXSettingsForm", kStartBound);
        ASSERT_NE(settings, nullptr);

        // The policies' settings are disabled and show the policy's value; the others are not.
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(settings, kxapp::kIdIdeal)));
        EXPECT_EQ(::IsDlgButtonChecked(settings, kxapp::kIdIdeal), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(settings, kxapp::kIdTrayIcon)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(settings, kxapp::kIdPriority)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(settings, kxapp::kIdInstantBoost)));

        // No band under the priority list while the realtime warning is hidden,
        // and every control inside the window.
        const RECT priority = BoxOf(settings, kxapp::kIdPriority);
        const RECT ideal = BoxOf(settings, kxapp::kIdIdeal);
        RECT client{};
        ::GetClientRect(settings, &client);
        EXPECT_LT(ideal.top - priority.top, 48) << "a band under the priority list";
        EXPECT_LE(BoxOf(settings, kxapp::kIdSave).bottom, client.bottom);
        EXPECT_LE(BoxOf(settings, kxapp::kIdRestoreOnExit).bottom, BoxOf(settings, kxapp::kIdLanguage).top);
        kxtest::BringToFront(settings);
        ::RedrawWindow(settings, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        ::Sleep(700);
        EXPECT_FALSE(kxtest::SaveScreenshot(std::wstring(L"policy_settings_") + language).empty());

        // Realtime chosen: the warning takes its place and pushes the rest down, still inside.
        HWND combo = ::GetDlgItem(settings, kxapp::kIdPriority);
        ::SendMessageW(combo, CB_SETCURSEL, 5, 0);
        ::SendMessageW(settings, WM_COMMAND, MAKEWPARAM(kxapp::kIdPriority, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo));
        const RECT warning = BoxOf(settings, kxapp::kIdRealtimeWarning);
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(settings, kxapp::kIdRealtimeWarning)));
        EXPECT_GE(BoxOf(settings, kxapp::kIdIdeal).top, warning.bottom);
        ::GetClientRect(settings, &client);
        EXPECT_LE(BoxOf(settings, kxapp::kIdSave).bottom, client.bottom);
        ::RedrawWindow(settings, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        ::Sleep(700);
        EXPECT_FALSE(kxtest::SaveScreenshot(std::wstring(L"policy_settings_realtime_") + language).empty());

        // The colour the organisation sets offers no buttons.
        ::SendMessageW(mainForm, WM_COMMAND, MAKEWPARAM(kxapp::kIdOpenAdvanced, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(mainForm, kxapp::kIdOpenAdvanced)));
        HWND advanced = kxtest::WaitForWindow(L"TKXAdvancedSettingsForm", kStartBound);
        ASSERT_NE(advanced, nullptr);
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(advanced, kxapp::kIdColorChoose + 2)));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(advanced, kxapp::kIdColorChoose)));
        if (std::wstring(language) == L"english") {
            kxtest::BringToFront(advanced);
            ::Sleep(700);
            EXPECT_FALSE(kxtest::SaveScreenshot(L"policy_advanced_english").empty());
        }
        CloseAll();
        main_.WaitForExit(10000);
    }
}

}  // namespace
