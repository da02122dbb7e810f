// wine-test: version=win10 desktop=yes timeout=240
// The real KestrixTray.exe: whether it runs at all (first argument and
// LoadKestrix), a second start, WM_CLOSE from another process, and a tick
// whose first stage fails skipping the stages after it.
#include <gtest/gtest.h>

#include <string>

#include "WineTestSupport.h"

namespace {

using kxtest::Program;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr wchar_t kProgram[] = L"KestrixTray.exe";
constexpr DWORD kStartBound = 20000;  // a first start under Wine can be slow
constexpr DWORD kEndBound = 15000;

int CountTopWindows(const wchar_t* className) {
    int count = 0;
    for (HWND window = ::FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
         window = ::FindWindowExW(nullptr, window, className, nullptr)) {
        ++count;
    }
    return count;
}

// A window of an ordinary program in front, so that the tray program has a
// foreground window that no block row exempts.
struct ForegroundApp {
    Program program;
    HWND window = nullptr;
};

ForegroundApp StartForegroundApp() {
    ForegroundApp app;
    app.program = kxtest::StartProgram(L"kxtesthelper.exe", L"window TKXTestApp \"Test application\"");
    if (!app.program.Started()) return app;
    app.window = kxtest::WaitForWindow(L"TKXTestApp", kStartBound);
    if (app.window != nullptr) {
        ::SetForegroundWindow(app.window);
        kxtest::WaitUntil([&] { return ::GetForegroundWindow() == app.window; }, 5000);
    }
    return app;
}

class ProgramEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr) << "an instance from before is still running";
        ASSERT_EQ(::GetFileAttributesW((kxtest::BinFolder() + kProgram).c_str()) == INVALID_FILE_ATTRIBUTES, false)
            << "KestrixTray.exe is not built";
    }
    void TearDown() override {
        // The Program holders end whatever still runs; wait until the window is gone.
        kxtest::WaitUntil([] { return kxtest::FindTopWindow(kTrayClass) == nullptr; }, kEndBound);
        kxtest::DeleteKeyTree();
    }

    // Closes a running instance the way the main program does, and checks it ends.
    static void CloseAndExpectEnd(Program& tray) {
        ASSERT_EQ(kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, kEndBound), 0);
        EXPECT_TRUE(tray.WaitForExit(kEndBound)) << "WM_CLOSE from another process must end the program";
        EXPECT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr);
    }
};

struct StartCase {
    const wchar_t* arguments;
    int loadKestrix;  // -1: the value is missing
    bool runs;
};

TEST_F(ProgramEntry, FirstArgumentAndLoadKestrixDecideWhetherItRuns) {
    const StartCase cases[] = {
        {L"/START", 0, false},   // any case of "/start" honours LoadKestrix
        {L"/start", 0, false},
        {L"", 0, true},          // an ordinary start always runs
        {L"/starting", 0, true}, // only "/start" itself is the automatic start
        {L"/start", -1, true},   // LoadKestrix missing counts as true
        {L"/Start", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "arguments '" << std::string(c.arguments, c.arguments + wcslen(c.arguments))
                                        << "', LoadKestrix " << c.loadKestrix);
        if (c.loadKestrix < 0) {
            kxtest::DeleteValue(L"LoadKestrix");
        } else {
            ASSERT_TRUE(kxtest::SetDwordValue(L"LoadKestrix", static_cast<DWORD>(c.loadKestrix)));
        }
        Program tray = kxtest::StartProgram(kProgram, c.arguments);
        ASSERT_TRUE(tray.Started());
        if (c.runs) {
            EXPECT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
            EXPECT_TRUE(tray.Running());
            CloseAndExpectEnd(tray);
        } else {
            EXPECT_TRUE(tray.WaitForExit(kEndBound)) << "it must end at once";
            EXPECT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr) << "no window may have been created";
        }
    }
}

TEST_F(ProgramEntry, SecondStartEndsWithoutTouchingTheFirst) {
    Program first = kxtest::StartProgram(kProgram);
    ASSERT_TRUE(first.Started());
    const HWND firstWindow = kxtest::WaitForWindow(kTrayClass, kStartBound);
    ASSERT_NE(firstWindow, nullptr);
    ForegroundApp app = StartForegroundApp();
    ASSERT_NE(app.window, nullptr);
    ASSERT_EQ(::GetForegroundWindow(), app.window);
    const BOOL wasVisible = ::IsWindowVisible(firstWindow);

    Program second = kxtest::StartProgram(kProgram);
    ASSERT_TRUE(second.Started());
    EXPECT_TRUE(second.WaitForExit(kEndBound)) << "the second start must end by itself";

    EXPECT_TRUE(first.Running());
    EXPECT_EQ(kxtest::FindTopWindow(kTrayClass), firstWindow);
    EXPECT_EQ(CountTopWindows(kTrayClass), 1);
    EXPECT_EQ(::IsWindowVisible(firstWindow), wasVisible) << "the first instance must not be shown";
    EXPECT_EQ(::GetForegroundWindow(), app.window) << "the first instance must not be brought to the front";
    kxtest::SaveScreenshot(L"two-starts");

    CloseAndExpectEnd(first);
}

TEST_F(ProgramEntry, AValueStageOneCannotConvertStopsNoLaterStage) {
    ForegroundApp app = StartForegroundApp();
    ASSERT_NE(app.window, nullptr);
    // Handle holds a word; stage 2 clears ReloadList when it runs.
    ASSERT_TRUE(kxtest::SetStringValue(L"Handle", L"word"));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ReloadList", 1));

    Program tray = kxtest::StartProgram(kProgram);
    ASSERT_TRUE(tray.Started());
    ASSERT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::ReadDwordValue(L"ReloadList") == DWORD{0}; }, 8000))
        << "stage 2 did not run although only Handle was unreadable";
    EXPECT_TRUE(kxtest::WaitUntil(
        [&] {
            const auto recorded = kxtest::ReadStringValue(L"Handle");
            return recorded && *recorded == std::to_wstring(reinterpret_cast<ULONG_PTR>(app.window));
        },
        8000))
        << "stage 1 reads the word as no window and records the window in front";
    EXPECT_TRUE(tray.Running());

    CloseAndExpectEnd(tray);
}

}  // namespace
