// wine-test: version=win10 desktop=yes timeout=240
// InstantBoost on the real platform: a test variant of the tray program whose
// timer ticks only once a minute raises a newly focused window's process at
// once, from the window event alone; with InstantBoost 0 it waits for a tick.
#include <gtest/gtest.h>

#include <string>

#include "WineTestSupport.h"

namespace {

using kxtest::HelperWindow;
using kxtest::Program;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr wchar_t kSlowTickTray[] = L"KestrixTraySlowTick.exe";  // first tick a minute after its start
constexpr DWORD kStartBound = 20000;
constexpr DWORD kEventBound = 10000;  // far below the minute to the first tick

class AppInstantBoost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kxtest::DeleteKeyTree()); }
    void TearDown() override {
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        tray_.WaitForExit(15000);
        kxtest::DeleteKeyTree();
    }
    void StartTray(DWORD instantBoost) {
        ASSERT_TRUE(kxtest::SetDwordValue(L"InstantBoost", instantBoost));
        tray_ = kxtest::StartProgram(kSlowTickTray);
        ASSERT_TRUE(tray_.Started());
        ASSERT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
    }
    // The look writes Handle after it has raised the process: waited for too.
    static bool HandleNamesWithin(HWND window, DWORD bound) {
        return kxtest::WaitUntil([&] { return kxtest::ReadStringValue(L"Handle") == kxtest::HandleText(window); },
                                 bound);
    }
    bool RaisedWithin(const HelperWindow& helper, DWORD bound) {
        return kxtest::WaitUntil(
            [&] { return kxtest::PriorityClassOf(helper.pid) == static_cast<DWORD>(HIGH_PRIORITY_CLASS); }, bound);
    }

    Program tray_;
};

TEST_F(AppInstantBoost, ANewlyFocusedWindowIsRaisedBeforeAnyTick) {
    StartTray(1);
    HelperWindow first = kxtest::StartHelperWindow(L"TKXBoostFirst", L"Boost first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(first.window));
    ASSERT_TRUE(RaisedWithin(first, kEventBound)) << "the focus change raised nothing";
    EXPECT_TRUE(HandleNamesWithin(first.window, kEventBound))
        << "Handle holds " << kxtest::ReadStringValue(L"Handle").value_or(L"nothing");

    // The next focus change restores the first program and raises the second.
    HelperWindow second = kxtest::StartHelperWindow(L"TKXBoostSecond", L"Boost second");
    ASSERT_NE(second.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(second.window));
    ASSERT_TRUE(RaisedWithin(second, kEventBound));
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(HandleNamesWithin(second.window, kEventBound))
        << "Handle holds " << kxtest::ReadStringValue(L"Handle").value_or(L"nothing");
}

TEST_F(AppInstantBoost, WithInstantBoostOffTheFocusChangeWaitsForTheTick) {
    StartTray(0);
    HelperWindow helper = kxtest::StartHelperWindow(L"TKXBoostOff", L"Boost off");
    ASSERT_NE(helper.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(helper.window));
    EXPECT_FALSE(RaisedWithin(helper, 5000)) << "raised although no tick has run";
}

}  // namespace
