// wine-test: version=win7 desktop=yes timeout=240
// The real KestrixTray.exe accelerating the program in front: its process
// raised to the high class and its window recorded in Handle, the previous
// program put back, a print window left alone, and a block-list file that
// takes "Print" away, read after ReloadList is set.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "WineTestSupport.h"

namespace {

using kxtest::BlockListFile;
using kxtest::BringToFront;
using kxtest::HandleText;
using kxtest::HelperWindow;
using kxtest::ProgramDataFolder;
using kxtest::Program;
using kxtest::StartHelperWindow;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr DWORD kStartBound = 20000;  // a first start under Wine can be slow
constexpr DWORD kTickBound = 10000;   // several ticks of the one-second cycle

// Handle as read now, for failure messages.
std::string HandleNow() {
    const auto value = kxtest::ReadStringValue(L"Handle");
    if (!value) return "(missing)";
    std::string narrow;
    for (wchar_t c : *value) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return narrow;
}

bool HandleBecomes(HWND window) {
    return kxtest::WaitUntil([&] { return kxtest::ReadStringValue(L"Handle") == HandleText(window); }, kTickBound);
}

// The text as UTF-16 little-endian with its byte-order mark.
std::string Utf16LeFile(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

class EngineAccelerate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ::DeleteFileW(BlockListFile().c_str());
        ASSERT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr) << "an instance from before is still running";
        tray_ = kxtest::StartProgram(L"KestrixTray.exe");
        ASSERT_TRUE(tray_.Started()) << "KestrixTray.exe could not be started";
        ASSERT_NE(kxtest::WaitForWindow(kTrayClass, kStartBound), nullptr);
    }
    void TearDown() override {
        kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
        tray_.WaitForExit(15000);
        ::DeleteFileW(BlockListFile().c_str());
        kxtest::DeleteKeyTree();
    }

    Program tray_;
};

TEST_F(EngineAccelerate, TheProgramInFrontIsRaisedAndThePreviousOneRestored) {
    HelperWindow first = StartHelperWindow(L"TKXEngineFirst", L"Engine test first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(BringToFront(first.window));
    ASSERT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));

    ASSERT_TRUE(HandleBecomes(first.window)) << "Handle reads " << HandleNow();
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(HIGH_PRIORITY_CLASS));

    HelperWindow second = StartHelperWindow(L"TKXEngineSecond", L"Engine test second");
    ASSERT_NE(second.window, nullptr);
    ASSERT_TRUE(BringToFront(second.window));
    ASSERT_TRUE(HandleBecomes(second.window)) << "Handle reads " << HandleNow();
    EXPECT_EQ(kxtest::PriorityClassOf(second.pid), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    kxtest::SaveScreenshot(L"engine_second_in_front");
}

TEST_F(EngineAccelerate, APrintWindowIsLeftAloneUntilTheBlockListDropsPrint) {
    HelperWindow first = StartHelperWindow(L"TKXEngineFirst", L"Engine test first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(BringToFront(first.window));
    ASSERT_TRUE(HandleBecomes(first.window));

    HelperWindow print = StartHelperWindow(L"TKXEnginePrint", L"Blueprint editor");
    ASSERT_NE(print.window, nullptr);
    ASSERT_TRUE(BringToFront(print.window));
    ::Sleep(3500);  // three ticks and more
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), HandleText(first.window)) << "Handle reads " << HandleNow();
    EXPECT_EQ(kxtest::PriorityClassOf(print.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(HIGH_PRIORITY_CLASS));

    // The main program writes the user's file and asks for a reload.
    const std::wstring folder = ProgramDataFolder();
    ASSERT_FALSE(folder.empty());
    ::CreateDirectoryW((folder + L"VELMOR").c_str(), nullptr);
    ::CreateDirectoryW((folder + L"VELMOR\\Kestrix").c_str(), nullptr);
    ASSERT_TRUE(kxtest::WriteFileBytes(BlockListFile(), Utf16LeFile(L"-,Print\r\n")));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ReloadList", 1));

    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::ReadDwordValue(L"ReloadList") == DWORD{0}; }, kTickBound))
        << "ReloadList was not cleared";
    ASSERT_TRUE(HandleBecomes(print.window)) << "the print window was not accelerated after the reload";
    EXPECT_EQ(kxtest::PriorityClassOf(print.pid), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(kxtest::PriorityClassOf(first.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

}  // namespace
