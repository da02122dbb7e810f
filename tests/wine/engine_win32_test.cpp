// wine-test: version=win7 desktop=yes timeout=180
// The acceleration engine on the real platform, driven in this process: the
// foreground snapshot of another program's window (its image path turned
// back into a drive-letter path), priority raise and restore, the block list
// read from a real file with the sharing rules, the performance-data sampler
// and thread snapshot, and stage 1 end to end.
#include <gtest/gtest.h>

#include <string>

#include "WineTestSupport.h"
#include "app/AccelerationStage.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Windows.h"

namespace {

using kxtest::HelperWindow;
using kxtest::Program;
using kxtest::StartHelperWindow;


kx::Text ToText(const std::wstring& text) { return kx::Text(text.begin(), text.end()); }

std::string Narrow(const kx::Text& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

kx::Text Upper(kx::Text text) {
    for (auto& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return text;
}

kx::Hwnd H(HWND window) { return static_cast<kx::Hwnd>(reinterpret_cast<ULONG_PTR>(window)); }

class EngineWin32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kxtest::DeleteKeyTree()); }
    void TearDown() override { kxtest::DeleteKeyTree(); }

    kx::Win32Registry registry;
    kx::Win32Windows windows;
    kx::Win32Processes processes;
    kx::Win32System system;
    kx::Win32Files files;
    kx::Win32Libraries libraries;
    kx::Win32Shell shell;
    kx::InspectionApi inspection{windows, processes, system, libraries};
    kx::IdealProcessorApi idealApi{registry, system, windows, processes, libraries};
};

TEST_F(EngineWin32, SnapshotOfAnotherProgramsWindowHasItsDriveLetterPath) {
    HelperWindow helper = StartHelperWindow(L"TKXEngineSnap", L"  Snapshot test ");
    ASSERT_NE(helper.window, nullptr);
    const kx::ForegroundSnapshot snapshot = kx::TakeForegroundSnapshot(inspection, H(helper.window));
    EXPECT_EQ(snapshot.caption, u"Snapshot test");
    EXPECT_EQ(snapshot.classKey, u"#TKXEngineSnap");
    const kx::Text expected = ToText(kxtest::BinFolder() + L"kxtesthelper.exe");
    EXPECT_EQ(Upper(snapshot.imagePath), Upper(expected)) << Narrow(snapshot.imagePath);

    const kx::ForegroundSnapshot none = kx::TakeForegroundSnapshot(inspection, 0);
    EXPECT_EQ(none.caption, u"");
    EXPECT_EQ(none.classKey, u"#");
    EXPECT_EQ(none.imagePath, u"");

    wchar_t own[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, own, MAX_PATH + 1);
    EXPECT_EQ(processes.GetOwnModuleFileName(), ToText(own));
}

TEST_F(EngineWin32, RaisingTheSecondProgramRestoresTheFirst) {
    HelperWindow first = StartHelperWindow(L"TKXEngineOne", L"One");
    HelperWindow second = StartHelperWindow(L"TKXEngineTwo", L"Two");
    ASSERT_NE(first.window, nullptr);
    ASSERT_NE(second.window, nullptr);
    kx::PriorityControl control(windows, processes);
    control.SetProcessPriorityLevel(second.program.Pid(), -1);
    ASSERT_EQ(kxtest::PriorityClassOf(second.program.Pid()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));

    control.AccelerateWindow(H(first.window), 2);
    EXPECT_EQ(kxtest::PriorityClassOf(first.program.Pid()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    control.AccelerateWindow(H(second.window), 1);
    EXPECT_EQ(kxtest::PriorityClassOf(first.program.Pid()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(kxtest::PriorityClassOf(second.program.Pid()), static_cast<DWORD>(ABOVE_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(control.State().lastLevel, -1);
    // A program that has ended is not restored, and nothing fails.
    second.program.Terminate();
    control.AccelerateWindow(H(first.window), 3);
    EXPECT_EQ(kxtest::PriorityClassOf(first.program.Pid()), static_cast<DWORD>(REALTIME_PRIORITY_CLASS));
}

TEST_F(EngineWin32, BlockListFromARealFileKeptWhileAnotherProgramWritesIt) {
    const std::wstring path = kxtest::ArtifactsFolder() + L"engine-blocklist.csv";
    // UTF-16 little-endian with its mark: remove "Print", add "Notepad".
    const std::wstring text = L"-,Print\r\n+,1,Notepad,the editor\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_TRUE(kxtest::WriteFileBytes(path, bytes));

    kx::BlockList list(system, files);
    list.LoadBlockList(ToText(path));
    EXPECT_FALSE(list.IsBlocked(u"Print", u"#X", u""));
    EXPECT_TRUE(list.IsBlocked(u"Untitled - Notepad", u"#X", u""));
    EXPECT_EQ(list.Rows().size(), 18u);

    HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    // A file another program holds for a moment: the rows loaded before stay in force.
    EXPECT_EQ(list.LoadBlockList(ToText(path)), kx::BlockListLoad::Busy);
    ::CloseHandle(writer);
    EXPECT_FALSE(list.IsBlocked(u"Print", u"#X", u""));
    EXPECT_TRUE(list.IsBlocked(u"Untitled - Notepad", u"#X", u""));
    EXPECT_EQ(list.Rows().size(), 18u);
    ::DeleteFileW(path.c_str());
}

TEST_F(EngineWin32, TheSamplerAndTheThreadSnapshotOnThePlatform) {
    HelperWindow helper = StartHelperWindow(L"TKXEngineIdeal", L"Ideal");
    ASSERT_NE(helper.window, nullptr);
    HANDLE thread = ::OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE,
                                 ::GetWindowThreadProcessId(helper.window, nullptr));
    ASSERT_NE(thread, nullptr);
    // Whether the platform reports the ideal processor it had: Wine answers 0 always.
    ::SetThreadIdealProcessor(thread, 1);
    const bool reported = ::SetThreadIdealProcessor(thread, 1) == 1;

    kx::ProcessorSampler sampler(idealApi);
    sampler.SetWindowIdealProcessor(H(helper.window));
    ::Sleep(1100);
    sampler.SetWindowIdealProcessor(H(helper.window));
    const DWORD previous = ::SetThreadIdealProcessor(thread, 0);
    ::CloseHandle(thread);

    // Windows publishes one instance per processor and the total; Wine no
    // processor object at all, so processor 0 is chosen there.
    const std::int32_t count = sampler.InstanceCount();
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    std::printf("performance data: %d instances, buffer %u bytes; ideal processor reported: %s\n", count,
                sampler.PerfBufferSize(), reported ? "yes" : "no");
    EXPECT_TRUE(count == -1 || count == static_cast<std::int32_t>(info.dwNumberOfProcessors) + 1) << count;
    if (reported) {
        EXPECT_LT(previous, info.dwNumberOfProcessors);
        if (count == -1) {
            EXPECT_EQ(previous, 0u);
        }
    }
}

TEST_F(EngineWin32, StageOneAcceleratesTheWindowInFront) {
    HelperWindow helper = StartHelperWindow(L"TKXEngineStage", L"Stage");
    ASSERT_NE(helper.window, nullptr);
    ::SetForegroundWindow(helper.window);
    ASSERT_TRUE(kxtest::WaitUntil([&] { return ::GetForegroundWindow() == helper.window; }, 5000));

    kx::SettingsStore settings(registry);
    kx::BlockList list(system, files);
    list.LoadBlockList(u"C:\\nowhere\\Kestrix.csv");
    kx::PriorityControl priority(windows, processes);
    kx::ProcessorSampler sampler(idealApi);
    kx::AccelerationStage stage(inspection, settings, list, priority, sampler);
    stage.Run();
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"),
              std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(helper.window))));
    EXPECT_EQ(kxtest::PriorityClassOf(helper.program.Pid()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    stage.Run();
    EXPECT_EQ(stage.IdealRefreshCounter(), 1);

    // The stage compares with the window it accelerated last, kept in memory:
    // what another program writes into Handle changes nothing for it, and a
    // Handle that is no number reads as no window at the first tick of a new
    // run, which then raises the window in front.
    ASSERT_TRUE(kxtest::SetStringValue(L"Handle", L"not a number"));
    EXPECT_NO_THROW(stage.Run());
    EXPECT_EQ(stage.IdealRefreshCounter(), 2);
    kx::AccelerationStage fresh(inspection, settings, list, priority, sampler);
    EXPECT_NO_THROW(fresh.Run());
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"),
              std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(helper.window))));
}

}  // namespace
