// wine-test: version=win7 desktop=yes timeout=150
// The update notice end to end, in a virtual desktop with a taskbar: the test
// variant of the tray program (which asks a loopback server on its fifth
// tick) finds an old UpdatedDate, asks the test's server, shows the notice
// on its icon, and a click on the notice starts the stand-in updater.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "UpdateTestServer.h"
#include "WineTestSupport.h"

namespace {

using kx::wine::UpdateTestServer;

constexpr wchar_t kTrayFormClass[] = L"TKXTrayForm";
// The icon widget's hidden window and the message the shell sends it.
constexpr wchar_t kIconWindowClass[] = L"TKXTrayIconWindow";
constexpr UINT kIconMessage = WM_APP + 1;
constexpr LPARAM kBalloonUserClick = WM_USER + 5;  // NIN_BALLOONUSERCLICK

// Whole seconds since 1970-01-01 00:00 local time, `days` ago.
std::wstring LocalSecondsDaysAgo(int days) {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    FILETIME fileTime;
    ::SystemTimeToFileTime(&local, &fileTime);
    ULARGE_INTEGER ticks;
    ticks.LowPart = fileTime.dwLowDateTime;
    ticks.HighPart = fileTime.dwHighDateTime;
    const long long seconds = static_cast<long long>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
    return std::to_wstring(seconds - days * 86400LL);
}

struct WindowSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    if (::lstrcmpiW(name, search->className) == 0 && ::IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

// Visible top-level windows of a class, of any process.
std::vector<HWND> VisibleWindows(const wchar_t* className) {
    WindowSearch search{className, {}};
    ::EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Whether an icon is drawn in the notification area: Wine's taskbar draws
// its icons at its right end, so pixels there that differ from the bare
// taskbar beside them are an icon.
bool IconInNotificationArea() {
    HWND taskbar = kxtest::FindTopWindow(L"Shell_TrayWnd");
    RECT bar{};
    if (taskbar == nullptr || !::GetWindowRect(taskbar, &bar)) return false;
    const kxtest::Pixels screen = kxtest::CaptureScreen();
    if (screen.Empty()) return false;
    const std::uint32_t bare = screen.At(bar.right - 80, (bar.top + bar.bottom) / 2);
    int differing = 0;
    for (int y = bar.top + 2; y < bar.bottom - 2; ++y) {
        for (int x = bar.right - 24; x < bar.right; ++x) {
            if (screen.At(x, y) != bare) ++differing;
        }
    }
    return differing >= 16;
}

// The balloon the shell shows: a visible balloon-style tooltip.
HWND FindBalloon() {
    for (HWND window : VisibleWindows(TOOLTIPS_CLASSW)) {
        if ((::GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) != 0) return window;
    }
    return nullptr;
}

BOOL CALLBACK PrintWindow(HWND window, LPARAM depth) {
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    std::printf("%*s%p %ls pid %lu %s (%ld,%ld)-(%ld,%ld) style %#lx\n", static_cast<int>(depth) * 2, "",
                static_cast<void*>(window), name, pid, ::IsWindowVisible(window) ? "visible" : "hidden", rect.left,
                rect.top, rect.right, rect.bottom, static_cast<unsigned long>(::GetWindowLongW(window, GWL_STYLE)));
    return TRUE;
}

// What the desktop holds, for a failure's message: the top-level windows and
// the taskbar's children.
void PrintDesktop() {
    ::EnumWindows(PrintWindow, 0);
    if (HWND taskbar = kxtest::FindTopWindow(L"Shell_TrayWnd")) {
        std::printf("taskbar children:\n");
        ::EnumChildWindows(taskbar, PrintWindow, 1);
    }
}

bool UpdaterStarted(const std::wstring& log) {
    const auto text = kxtest::ReadFileBytes(log);
    return text && text->find("KestrixUpdate.exe started 0") != std::string::npos;
}

class UpdateNoticeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef KX_TEST_UPDATE_PORT
        FAIL() << "built without the test variant of the tray program (KestrixTrayTestUpdate.exe)";
#else
        ASSERT_TRUE(server_.Listening()) << "port " << KX_TEST_UPDATE_PORT << " is taken";
        server_.ReplyWith(200, "OK", "<html><body>VELMOR|1</body></html>");
#endif
        log_ = kxtest::ArtifactsFolder() + L"companions.log";
        ::DeleteFileW(log_.c_str());
        // The tray program and the updater it starts inherit it.
        ::SetEnvironmentVariableW(L"KX_COMPANION_LOG", log_.c_str());
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_NE(kxtest::WaitForWindow(L"Shell_TrayWnd", 30000), nullptr) << "no taskbar in the virtual desktop";
    }

    void TearDown() override {
        if (HWND form = kxtest::FindTopWindow(kTrayFormClass)) ::PostMessageW(form, WM_CLOSE, 0, 0);
        if (tray_.Started()) {
            EXPECT_TRUE(tray_.WaitForExit(10000)) << "the tray program did not close";
        }
        kxtest::DeleteKeyTree();
    }

    void StartTray() {
        tray_ = kxtest::StartProgram(L"KestrixTrayTestUpdate.exe");
        ASSERT_TRUE(tray_.Started());
        ASSERT_NE(kxtest::WaitForWindow(kTrayFormClass, 15000), nullptr);
    }

    bool WaitForRequests(std::size_t count, DWORD timeoutMs) {
        return kxtest::WaitUntil([&] { return server_.Requests().size() >= count; }, timeoutMs);
    }

#ifdef KX_TEST_UPDATE_PORT
    UpdateTestServer server_{KX_TEST_UPDATE_PORT};
#else
    UpdateTestServer server_;
#endif
    kxtest::Program tray_;
    std::wstring log_;
};

TEST_F(UpdateNoticeEndToEnd, OldUpdateBringsTheNoticeWhoseClickStartsTheUpdater) {
    ASSERT_TRUE(kxtest::SetStringValue(L"UpdatedDate", LocalSecondsDaysAgo(60)));
    ASSERT_TRUE(kxtest::SetStringValue(L"Language", L"english"));
    StartTray();

    ASSERT_TRUE(WaitForRequests(1, 30000)) << "the tray program never asked the update server";
    const auto head = server_.Requests()[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")),
              "GET /downloads/update/?product=kestrix&version=5.3.7.2022 HTTP/1.1");

    // The shell shows the balloon on the icon a moment after it was asked to.
    HWND balloon = nullptr;
    if (!kxtest::WaitUntil([&] { return (balloon = FindBalloon()) != nullptr; }, 15000)) {
        kxtest::SaveScreenshot(L"update_notice_missing");
        PrintDesktop();
        FAIL() << "no balloon appeared in the notification area";
    }
    EXPECT_TRUE(IconInNotificationArea()) << "the icon is in the notification area";
    ::Sleep(300);  // let it finish drawing
    const std::wstring shot = kxtest::SaveScreenshot(L"update_notice");
    EXPECT_FALSE(shot.empty());
    RECT rect{};
    ASSERT_TRUE(::GetWindowRect(balloon, &rect));
    std::printf("balloon at (%ld,%ld)-(%ld,%ld), screenshot %ls\n", rect.left, rect.top, rect.right, rect.bottom,
                shot.c_str());

    // A click into the notice, as the user makes it.
    kxtest::Click((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    if (!kxtest::WaitUntil([&] { return UpdaterStarted(log_); }, 3000)) {
        // Wine's notification area draws the balloon but sends no
        // NIN_BALLOONUSERCLICK for a click into it. The notification is
        // delivered to the icon's window as the shell of Windows delivers it.
        std::printf("the notification area did not pass the balloon click on; delivering NIN_BALLOONUSERCLICK\n");
        RecordProperty("balloon_click_from_shell", "no");
        HWND iconWindow = kxtest::FindTopWindow(kIconWindowClass);
        ASSERT_NE(iconWindow, nullptr);
        ASSERT_TRUE(::PostMessageW(iconWindow, kIconMessage, 1, kBalloonUserClick));
    } else {
        RecordProperty("balloon_click_from_shell", "yes");
    }
    EXPECT_TRUE(kxtest::WaitUntil([&] { return UpdaterStarted(log_); }, 10000))
        << "KestrixUpdate.exe was not started";

    // The notice is shown once per run: no further request.
    ::Sleep(2000);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(UpdateNoticeEndToEnd, RecentUpdateAsksNothing) {
    ASSERT_TRUE(kxtest::SetStringValue(L"UpdatedDate", LocalSecondsDaysAgo(10)));
    StartTray();
    // Well past the fifth tick, when the evaluation falls.
    ::Sleep(9000);
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(FindBalloon(), nullptr);
}

TEST_F(UpdateNoticeEndToEnd, HiddenIconIsShownForTheNoticeAndHiddenAgain) {
    ASSERT_TRUE(kxtest::SetStringValue(L"UpdatedDate", LocalSecondsDaysAgo(60)));
    ASSERT_TRUE(kxtest::SetDwordValue(L"LoadTrayIcon", 0));
    StartTray();
    ::Sleep(2500);
    EXPECT_FALSE(IconInNotificationArea()) << "the setting hides the icon";

    ASSERT_TRUE(WaitForRequests(1, 30000));
    // The icon comes for the notice in the tick of the request ...
    EXPECT_TRUE(kxtest::WaitUntil([] { return IconInNotificationArea(); }, 1000, 20));
    // ... and the next tick hides it again, as the setting says.
    EXPECT_TRUE(kxtest::WaitUntil([] { return !IconInNotificationArea(); }, 5000));
    kxtest::SaveScreenshot(L"update_notice_hidden_icon_after");
}

}  // namespace
