// wine-test: version=win7 desktop=yes timeout=240
// The real updater and help file: the updater asks a local update server the
// same question as KestrixTray and says what it answered ("VELMOR|1": an
// update exists, and the download page can be opened; "VELMOR|0": up to date,
// and UpdatedDate becomes now in seconds); the main program's Help button opens
// the help file on its topic in the window type HelpWindow.
#include <gtest/gtest.h>

#include <string>

#include "../../programs/main/ControlIds.h"
#include "../../programs/updater/UpdaterIds.h"
#include "UpdateTestServer.h"
#include "WineTestSupport.h"
#include "platform/win32/Win32Clock.h"
#include "update/UpdateDates.h"

#ifndef KX_TEST_UPDATE_PORT
#define KX_TEST_UPDATE_PORT 48183
#endif

namespace {

using kx::wine::UpdateTestServer;

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

class ProductUpdater : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_TRUE(server_.Listening()) << "port " << KX_TEST_UPDATE_PORT << " is taken";
    }
    void TearDown() override {
        if (HWND window = kxtest::FindTopWindow(L"TKXUpdateForm")) ::SendMessageW(window, WM_CLOSE, 0, 0);
        updater_.WaitForExit(15000);
        kxtest::DeleteKeyTree();
    }
    // The updater's status once the check is over.
    std::wstring Answer() {
        updater_ = kxtest::StartProgram(L"KestrixUpdateTest.exe");
        if (!updater_.Started()) return L"(not started)";
        window_ = kxtest::WaitForWindow(L"TKXUpdateForm", 20000);
        if (window_ == nullptr) return L"(no window)";
        // The window may be found while its controls are still being made;
        // the check is over when its status is set and Try again is offered.
        kxtest::WaitUntil(
            [&] {
                HWND retry = ::GetDlgItem(window_, kxupdate::kIdRetry);
                return retry != nullptr && ::IsWindowEnabled(retry) && !TextOf(::GetDlgItem(window_, kxupdate::kIdStatus)).empty() &&
                       TextOf(::GetDlgItem(window_, kxupdate::kIdStatus)) != L"Asking the update server...";
            },
            30000);
        return TextOf(::GetDlgItem(window_, kxupdate::kIdStatus));
    }

    UpdateTestServer server_{KX_TEST_UPDATE_PORT};
    kxtest::Program updater_;
    HWND window_ = nullptr;
};

TEST_F(ProductUpdater, ReportsAnAvailableUpdateAndOffersTheDownloadPage) {
    server_.ReplyWith(200, "OK", "<html>VELMOR|1</html>");
    EXPECT_EQ(Answer(), L"An update for Kestrix is available.");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window_, kxupdate::kIdDownload)));
    kxtest::SaveScreenshot(L"updater_available");
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /downloads/update/?product=kestrix&version=5.3.7.2022 HTTP/1.1\r\n", 0), 0u)
        << requests[0];
    EXPECT_NE(requests[0].find("User-Agent: Mozilla/4.0 (compatible; VELMOR)\r\n"), std::string::npos) << requests[0];
    // Nothing is recorded as an update: the user has not updated yet.
    EXPECT_FALSE(kxtest::ReadValue(L"UpdatedDate").has_value());
}

TEST_F(ProductUpdater, UpToDateRecordsTheCheckAsTheLatestUpdateInSeconds) {
    server_.ReplyWith(200, "OK", "VELMOR|0");
    EXPECT_EQ(Answer(), L"Kestrix is up to date.");
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window_, kxupdate::kIdDownload)));
    const auto updated = kxtest::ReadValue(L"UpdatedDate");
    ASSERT_TRUE(updated.has_value());
    EXPECT_EQ(updated->type, static_cast<DWORD>(REG_SZ));
    const auto text = kxtest::ReadStringValue(L"UpdatedDate").value_or(L"");
    kx::Win32Clock clock;
    EXPECT_NEAR(std::stol(text), kx::DateTimeToLocalSeconds(kx::CurrentMoment(clock)), 120);
}

TEST_F(ProductUpdater, NoServerIsReportedAsNoAnswer) {
    server_.ReplyWith(404, "Not Found", "VELMOR|1");
    EXPECT_EQ(Answer(), L"The update server could not be reached. Check the Internet connection and try again.");
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window_, kxupdate::kIdDownload)));
}

TEST(ProductHelp, TheMainProgramOpensTheHelpFileOnItsTopic) {
    const std::wstring folder = kxtest::BinFolder() + L"..\\product\\";
    kxtest::Program main = kxtest::StartProgram(folder + L"Kestrix.exe", L"", folder);
    HWND form = kxtest::WaitForWindow(L"TKXMainForm", 20000);
    ASSERT_NE(form, nullptr);
    ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(kxapp::kIdOpenHelp, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(form, kxapp::kIdOpenHelp)));
    // The help viewer's frame takes its title from the window type HelpWindow.
    HWND help = nullptr;
    kxtest::WaitUntil([&] { return (help = ::FindWindowW(nullptr, L"Kestrix Help")) != nullptr; }, 20000);
    ASSERT_NE(help, nullptr) << "no help window titled by the window type";
    ::Sleep(1500);
    kxtest::SaveScreenshot(L"help");
    ::SendMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(main.WaitForExit(15000));
    if (HWND tray = kxtest::FindTopWindow(L"TKXTrayForm")) ::SendMessageW(tray, WM_CLOSE, 0, 0);
}

}  // namespace
