// wine-test: version=win10 desktop=yes timeout=240 winedebug=warn+seh
// What the real tray tells of its looks: the outcome under the current
// user's Status key (raised with the class read back, blocked with the
// user's row), written once per change and not at every tick, and the line
// each placement leaves (Wine 8 reports alike processors, so none is given a set).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "DebugOutput.h"
#include "WineTestSupport.h"

namespace {

using kxtest::HelperWindow;
using kxtest::Program;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr wchar_t kStatusKey[] = L"Software\\VELMOR\\Kestrix\\Status";
constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 15000;

std::optional<std::wstring> StatusText(const wchar_t* name) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, kStatusKey, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

std::optional<DWORD> StatusDword(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, kStatusKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// The Status key's last write time; 0 when it cannot be had.
ULONGLONG StatusWriteTime() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kStatusKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    FILETIME written{};
    const LONG status = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, &written);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS ? (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime : 0;
}

bool OutcomeBecomes(const wchar_t* outcome, const std::wstring& program) {
    return kxtest::WaitUntil(
        [&] { return StatusText(L"Outcome") == std::wstring(outcome) && StatusText(L"Program") == program; },
        kTickBound);
}

class AppStatus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DebugOutputLogged()) << "the harness keeps no debug-output log";
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kStatusKey);
        const std::wstring folder = kxtest::ProgramDataFolder();
        ASSERT_FALSE(folder.empty());
        ::CreateDirectoryW((folder + L"VELMOR").c_str(), nullptr);
        ::CreateDirectoryW((folder + L"VELMOR\\Kestrix").c_str(), nullptr);
        ASSERT_TRUE(kxtest::WriteFileBytes(kxtest::BlockListFile(), "+,1,KXStatusBlocked,test row\r\n"));
        ASSERT_TRUE(kxtest::SetDwordValue(L"CorePlacement", 1));
        ASSERT_TRUE(kxtest::SetDwordValue(L"ShowStatus", 1));
        tray_ = kxtest::StartProgram(L"KestrixTray.exe");
        ASSERT_TRUE(tray_.Started());
        ASSERT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
    }
    void TearDown() override {
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        tray_.WaitForExit(15000);
        ::DeleteFileW(kxtest::BlockListFile().c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kStatusKey);
        kxtest::DeleteKeyTree();
    }

    Program tray_;
};

TEST_F(AppStatus, ANormalWindowIsRaisedAndABlockedOneNamesItsRowEachWrittenOnce) {
    HelperWindow normal = kxtest::StartHelperWindow(L"TKXStatusNormal", L"Status normal");
    ASSERT_NE(normal.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(normal.window));
    ASSERT_TRUE(OutcomeBecomes(L"raised", L"kxtesthelper.exe")) << "no raised outcome";
    EXPECT_EQ(StatusDword(L"Class"), DWORD{HIGH_PRIORITY_CLASS});
    EXPECT_EQ(StatusDword(L"Asked"), DWORD{HIGH_PRIORITY_CLASS});
    EXPECT_EQ(StatusText(L"Cores"), std::wstring());
    // The placement's line for the process raised: Wine's processors are alike.
    const std::string placed = "KestrixTray: placement: process " + std::to_string(normal.pid) + ": ";
    EXPECT_TRUE(kxtest::WaitUntil([&] { return !kxtest::DebugOutputLines(placed).empty(); }, kTickBound))
        << "no placement line for process " << normal.pid;

    HelperWindow blocked = kxtest::StartHelperWindow(L"TKXStatusBlocked", L"KXStatusBlocked window");
    ASSERT_NE(blocked.window, nullptr);
    ASSERT_TRUE(kxtest::BringToFront(blocked.window));
    ASSERT_TRUE(OutcomeBecomes(L"blocked", L"kxtesthelper.exe")) << "no blocked outcome";
    EXPECT_EQ(StatusText(L"Reason"), std::wstring(L"user row: KXStatusBlocked"));
    EXPECT_EQ(kxtest::PriorityClassOf(blocked.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));

    // Ticks that find the same outcome write nothing.
    const ULONGLONG written = StatusWriteTime();
    ASSERT_NE(written, 0u);
    ::Sleep(3500);
    EXPECT_EQ(StatusWriteTime(), written) << "the Status key was written again without a change";

    // Back to the normal window: it is raised again and the change is written.
    ASSERT_TRUE(kxtest::BringToFront(normal.window));
    EXPECT_TRUE(OutcomeBecomes(L"raised", L"kxtesthelper.exe"));
    EXPECT_NE(StatusWriteTime(), written);
}

}  // namespace
