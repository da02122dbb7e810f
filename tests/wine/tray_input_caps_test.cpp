// wine-test: version=win7 desktop=yes timeout=300
// A block-list file past one of its caps (size, line length, rows), as any
// account of the machine can write one: the real KestrixTray.exe reads none
// of it, keeps the built-in rows (a print window stays unaccelerated although
// the file's first line takes "Print" away), keeps accelerating the program
// in front, and still ends on WM_CLOSE.
#include <gtest/gtest.h>

#include <string>

#include "WineTestSupport.h"
#include "config/InputLimits.h"

namespace {

using kxtest::BlockListFile;
using kxtest::BringToFront;
using kxtest::HandleText;
using kxtest::HelperWindow;
using kxtest::StartHelperWindow;

constexpr wchar_t kTrayClass[] = L"TKXTrayForm";
constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 10000;

struct CapCase {
    const char* name;
    std::string (*file)();
};

const std::string kRemovePrint = "-,Print\r\n";

std::string PastTheSizeCap() {
    std::string file = kRemovePrint;
    while (file.size() <= kx::kMaxBlockListFileBytes) file += "\r\n";  // blank lines: no rows, no long line
    return file;
}

std::string PastTheLineCap() {
    return kRemovePrint + "+,1,Notepad," + std::string(kx::kMaxBlockListLineChars, 'd') + "\r\n";
}

std::string PastTheRowCap() {
    std::string file = kRemovePrint;
    for (std::size_t i = 0; i < kx::kMaxBlockListRows; ++i) file += "+,1,x,y\r\n";
    return file;
}

class TrayInputCaps : public ::testing::TestWithParam<CapCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_EQ(kxtest::FindTopWindow(kTrayClass), nullptr) << "an instance from before is still running";
        const std::wstring folder = kxtest::ProgramDataFolder();
        ASSERT_FALSE(folder.empty());
        ::CreateDirectoryW((folder + L"VELMOR").c_str(), nullptr);
        ::CreateDirectoryW((folder + L"VELMOR\\Kestrix").c_str(), nullptr);
    }
    void TearDown() override {
        if (tray_.Started() && !tray_.WaitForExit(0)) {
            kxtest::RunProgram(L"kxtesthelper.exe", std::wstring(L"sendclose ") + kTrayClass, 15000);
            if (!tray_.WaitForExit(10000)) tray_.Terminate();
        }
        ::DeleteFileW(BlockListFile().c_str());
        kxtest::DeleteKeyTree();
    }

    kxtest::Program tray_;
};

TEST_P(TrayInputCaps, TheTrayKeepsTheBuiltInRowsAndStillEnds) {
    const CapCase& c = GetParam();
    ASSERT_TRUE(kxtest::WriteFileBytes(BlockListFile(), c.file())) << c.name;
    tray_ = kxtest::StartProgram(L"KestrixTray.exe");
    ASSERT_TRUE(tray_.Started());
    const HWND form = kxtest::WaitForWindow(kTrayClass, kStartBound);
    ASSERT_NE(form, nullptr);

    // The ticks run: the program in front is accelerated.
    HelperWindow first = StartHelperWindow(L"TKXCapsFirst", L"Caps test first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(BringToFront(first.window));
    EXPECT_TRUE(kxtest::WaitUntil([&] { return kxtest::ReadStringValue(L"Handle") == HandleText(first.window); },
                                  kTickBound))
        << c.name << ": the program in front was not accelerated";

    // The built-in "Print" row is still there: the file was not read at all.
    HelperWindow print = StartHelperWindow(L"TKXCapsPrint", L"Print preview");
    ASSERT_NE(print.window, nullptr);
    ASSERT_TRUE(BringToFront(print.window));
    ::Sleep(3500);  // three ticks and more
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), HandleText(first.window)) << c.name;
    EXPECT_EQ(kxtest::PriorityClassOf(print.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS)) << c.name;

    ::PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(tray_.WaitForExit(10000)) << c.name << ": KestrixTray did not end on WM_CLOSE";
    first.program.Terminate();
    print.program.Terminate();
}

INSTANTIATE_TEST_SUITE_P(PastACap, TrayInputCaps,
                         ::testing::Values(CapCase{"a file one line break past the size cap", PastTheSizeCap},
                                           CapCase{"a line past the line cap", PastTheLineCap},
                                           CapCase{"one row past the row cap", PastTheRowCap}),
                         [](const ::testing::TestParamInfo<CapCase>& param) {
                             return std::string(param.index == 0 ? "Size" : param.index == 1 ? "Line" : "Rows");
                         });

}  // namespace
