// wine-test: version=win7 desktop=yes timeout=90
// The application shell's half of the Windows side against the real system:
// user32 through Win32Windows and shell32 through Win32Shell, as the tray
// form and its icon use them.
#include "tray_support.h"

#include <shellapi.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32Windows.h"

namespace {

using kx::win32::FromHwnd;
using kx::win32::ToHwnd;

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window of this test, of its own class.
class TestWindow {
public:
    explicit TestWindow(const wchar_t* className) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    ~TestWindow() {
        if (window_ != nullptr) ::DestroyWindow(window_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

TEST(Win32WindowsOnWindows, TheIconTitleFontIsTheDesktopsAndTheScreenHasItsDpi) {
    kx::Win32Windows windows;
    kx::LogFontInfo font;
    ASSERT_TRUE(windows.GetIconTitleLogFont(&font));
    LOGFONTW expected{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof expected, &expected, 0));
    EXPECT_EQ(font.lfHeight, expected.lfHeight);
    EXPECT_EQ(font.lfWeight, expected.lfWeight);
    EXPECT_EQ(std::wstring(font.lfFaceName.begin(), font.lfFaceName.end()), std::wstring(expected.lfFaceName));
    EXPECT_FALSE(font.lfFaceName.empty());
    EXPECT_EQ(windows.GetSystemDpi(), 96) << "the prefix's default screen";
}

TEST(Win32WindowsOnWindows, FindsATopLevelWindowByClassOnly) {
    TestWindow window(L"KXWin32WindowsProbe");
    ASSERT_NE(window.get(), nullptr);
    kx::Win32Windows windows;
    const kx::Text className = u"KXWin32WindowsProbe";
    EXPECT_EQ(windows.FindWindowW(&className, nullptr), FromHwnd(window.get()));
    const kx::Text missing = u"KXNoSuchWindowClass";
    EXPECT_EQ(windows.FindWindowW(&missing, nullptr), 0u);
    EXPECT_TRUE(windows.IsWindow(FromHwnd(window.get())));
}

struct HungWindow {
    HWND window = nullptr;
    HANDLE ready = nullptr;
};

// The window's thread stops handling messages for longer than the bound.
DWORD WINAPI HungWindowThread(void* parameter) {
    auto* hung = static_cast<HungWindow*>(parameter);
    TestWindow window(L"KXHungWindowProbe");
    hung->window = window.get();
    ::SetEvent(hung->ready);
    ::Sleep(4000);  // never looks at its messages meanwhile
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    return 0;
}

TEST(Win32WindowsOnWindows, ASentMessageToAHungWindowReturnsAfterItsBound) {
    HungWindow hung;
    hung.ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = ::CreateThread(nullptr, 0, HungWindowThread, &hung, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(hung.ready, 5000), WAIT_OBJECT_0);

    kx::Win32Windows windows;
    std::uintptr_t answer = 7;
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(windows.SendMessageTimeoutW(FromHwnd(hung.window), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
    const DWORD took = ::GetTickCount() - start;
    EXPECT_GE(took, 900u);
    EXPECT_LT(took, 3000u);
    ::WaitForSingleObject(thread, 10000);
    ::CloseHandle(thread);
    ::CloseHandle(hung.ready);
}

TEST(Win32WindowsOnWindows, BuildsAPopupMenuWithSeparatorsAndADefaultItem) {
    kx::Win32Windows windows;
    const kx::KHandle menu = windows.CreatePopupMenu();
    ASSERT_NE(menu, 0u);
    EXPECT_TRUE(windows.AppendMenuW(menu, MF_STRING, 1, u"Open &Kestrix"));
    EXPECT_TRUE(windows.AppendMenuW(menu, MF_SEPARATOR, 0, u""));
    EXPECT_TRUE(windows.AppendMenuW(menu, MF_STRING, 3, u""));
    EXPECT_TRUE(windows.SetMenuDefaultItem(menu, 1, false));

    HMENU real = kx::win32::FromKHandle<HMENU>(menu);
    EXPECT_EQ(::GetMenuItemCount(real), 3);
    wchar_t text[64] = {};
    ::GetMenuStringW(real, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Open &Kestrix");
    EXPECT_EQ(::GetMenuState(real, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(::GetMenuDefaultItem(real, TRUE, 0), 0u);
    EXPECT_TRUE(windows.DestroyMenu(menu));
    EXPECT_FALSE(::IsMenu(real));
}

TEST(Win32WindowsOnWindows, RegisteredMessagesAreTheSystemsOwn) {
    kx::Win32Windows windows;
    EXPECT_EQ(windows.RegisterWindowMessageW(u"TaskbarCreated"), ::RegisterWindowMessageW(L"TaskbarCreated"));
}

TEST(Win32ShellOnWindows, AddsModifiesAndRemovesANotificationIcon) {
    TestWindow owner(L"KXNotifyIconProbe");
    ASSERT_NE(owner.get(), nullptr);
    kx::Win32Shell shell;
    kx::NotifyIconData data;
    data.hWnd = FromHwnd(owner.get());
    data.uID = 9;
    data.uFlags = kx::w32::kNifMessage | kx::w32::kNifIcon | kx::w32::kNifTip;
    data.uCallbackMessage = WM_APP + 1;
    data.hIcon = kx::win32::ToKHandle(::LoadIconW(nullptr, IDI_APPLICATION));
    data.szTip = kx::Text(300, u'x');  // cut to the field
    ASSERT_TRUE(traytest::WaitForIconShown(false, 5000));

    EXPECT_TRUE(shell.Shell_NotifyIconW(kx::w32::kNimAdd, data));
    EXPECT_TRUE(traytest::WaitForIconShown(true, 5000));
    EXPECT_TRUE(shell.Shell_NotifyIconW(kx::w32::kNimModify, data));
    EXPECT_TRUE(shell.Shell_NotifyIconW(kx::w32::kNimDelete, data));
    EXPECT_TRUE(traytest::WaitForIconShown(false, 5000));
    EXPECT_FALSE(shell.Shell_NotifyIconW(kx::w32::kNimDelete, data)) << "an icon the shell does not hold";
}

TEST(Win32ShellOnWindows, TheAllUsersDataFolderByBothQueries) {
    kx::Win32Shell shell;
    char16_t* known = nullptr;
    EXPECT_EQ(shell.SHGetKnownFolderPath(kx::kFolderIdProgramData, 0, 0, &known), 0);
    ASSERT_NE(known, nullptr);
    const kx::Text knownPath = known;
    shell.CoTaskMemFree(known);
    char16_t buffer[261] = {};
    EXPECT_EQ(shell.SHGetFolderPathW(0, kx::w32::kCsidlCommonAppdata, 0, 0, buffer), 0);
    EXPECT_EQ(kx::Text(buffer), knownPath);
    EXPECT_EQ(knownPath, u"C:\\ProgramData");
}

TEST(Win32ShellOnWindows, ShellExecuteStartsAProgramWithItsParameters) {
    ::DeleteFileW(traytest::LogPath().c_str());
    ::SetEnvironmentVariableW(L"KX_COMPANION_LOG", traytest::LogPath().c_str());
    kx::Win32Shell shell;
    const kx::Text verb = u"open";
    const kx::Text parameters = u"--quiet now";
    const std::wstring folder = kxtest::BinFolder();
    const kx::Text file = kx::Text(folder.begin(), folder.end()) + u"KestrixUpdate.exe";
    EXPECT_GT(shell.ShellExecuteW(0, &verb, file, &parameters, nullptr, SW_SHOW), 32);
    EXPECT_TRUE(kxtest::WaitUntil([] { return traytest::LogHas("KestrixUpdate.exe started 2 --quiet now"); }, 10000));

    const kx::Text missing = kx::Text(folder.begin(), folder.end()) + u"NoSuchProgram.exe";
    EXPECT_LE(shell.ShellExecuteW(0, &verb, missing, nullptr, nullptr, SW_SHOW), 32);
}

}  // namespace
