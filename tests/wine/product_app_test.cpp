// wine-test: version=win7 desktop=yes timeout=300
// The real main program (<build>/product/Kestrix.exe) driven through the
// controls of its windows: it starts KestrixTray, a raised priority setting
// reaches the next program in front, a title row added in the block-list
// window stops that window from being accelerated, and it follows Language.
// Screenshots of the main, settings and block-list windows in English and in
// Russian are left as artefacts.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <psapi.h>

#include <cstdio>

#include <string>

#include "../../programs/main/ControlIds.h"
#include "WineTestSupport.h"

namespace {

using kxtest::BlockListFile;
using kxtest::BringToFront;
using kxtest::HandleText;
using kxtest::HelperWindow;
using kxtest::ProgramDataFolder;
using kxtest::Program;
using kxtest::StartHelperWindow;

constexpr DWORD kStartBound = 20000;
constexpr DWORD kTickBound = 10000;

std::wstring ProductFolder() { return kxtest::BinFolder() + L"..\\product\\"; }

// What a click on the button does: the button's notification to its window.
void Press(HWND form, int id) {
    HWND button = ::GetDlgItem(form, id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Choose(HWND form, int id, int item) {
    HWND combo = ::GetDlgItem(form, id);
    ASSERT_NE(combo, nullptr) << "no control " << id;
    ASSERT_EQ(::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(item), 0), item);
    ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Type(HWND form, int id, const std::wstring& text) {
    ASSERT_TRUE(::SetDlgItemTextW(form, id, text.c_str())) << "no control " << id;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

void Screenshot(HWND window, const std::wstring& name) {
    BringToFront(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(1300);  // the main window refreshes once a second
    EXPECT_FALSE(kxtest::SaveScreenshot(name).empty()) << "no screenshot " << std::string(name.begin(), name.end());
}

// The chosen entry of a drop-down list.
std::wstring Chosen(HWND combo) {
    const auto index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0) return L"(none)";
    wchar_t text[256] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return narrow;
}

class ProductApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ::DeleteFileW(BlockListFile().c_str());
        // The data folder, as setup leaves it: the main program never makes it.
        ::SHCreateDirectoryExW(nullptr, (ProgramDataFolder() + L"VELMOR\\Kestrix").c_str(), nullptr);
        LARGE_INTEGER frequency, before, after;
        ::QueryPerformanceFrequency(&frequency);
        ::QueryPerformanceCounter(&before);
        main_ = kxtest::StartProgram(ProductFolder() + L"Kestrix.exe", L"", ProductFolder());
        ASSERT_TRUE(main_.Started()) << "Kestrix.exe could not be started";
        form_ = kxtest::WaitUntil([&] { return (form_ = kxtest::FindTopWindow(L"TKXMainForm")) != nullptr &&
                                               ::IsWindowVisible(form_); }, kStartBound, 5)
                    ? form_ : nullptr;
        ::QueryPerformanceCounter(&after);
        ASSERT_NE(form_, nullptr);
        // A measuring run: the start time to a visible main window, and the
        // working set once it has settled.
        ::Sleep(1500);
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        ::GetProcessMemoryInfo(main_.Process(), &memory, sizeof memory);
        std::printf("Kestrix.exe: main window visible after %.0f ms; working set %lu KB (peak %lu KB)\n",
                    1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart),
                    static_cast<unsigned long>(memory.WorkingSetSize / 1024),
                    static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
    }
    void TearDown() override {
        for (const wchar_t* name : {L"TKXAboutForm", L"TKXAddBlockListForm", L"TKXSettingsForm", L"TKXStatsForm",
                                    L"TKXTestForm", L"TKXMainForm", L"TKXTrayForm"}) {
            if (HWND window = kxtest::FindTopWindow(name)) ::SendMessageW(window, WM_CLOSE, 0, 0);
        }
        main_.WaitForExit(10000);
        kxtest::WaitUntil([] { return kxtest::FindTopWindow(L"TKXTrayForm") == nullptr; }, 10000);
        ::DeleteFileW(BlockListFile().c_str());
        kxtest::DeleteKeyTree();
    }

    HWND OpenFrom(int button, const wchar_t* className) {
        Press(form_, button);
        return kxtest::WaitForWindow(className, kStartBound);
    }

    Program main_;
    HWND form_ = nullptr;
};

TEST_F(ProductApp, SettingsAndBlockListReachKestrixTray) {
    // The main program starts KestrixTray from its own folder.
    ASSERT_NE(kxtest::WaitForWindow(L"TKXTrayForm", kStartBound), nullptr) << "KestrixTray was not started";
    // Under Wine every process has an elevated token, so the main program
    // has the desktop shell start it, never with its own token.
    EXPECT_EQ(_wcsicmp(kxtest::ParentNameOf(L"KestrixTray.exe").c_str(), L"explorer.exe"), 0)
        << "KestrixTray's parent is not the desktop shell";

    // Priority 1 (above normal), chosen in the settings window and saved.
    HWND settings = OpenFrom(kxapp::kIdOpenSettings, L"TKXSettingsForm");
    ASSERT_NE(settings, nullptr);
    Choose(settings, kxapp::kIdPriority, 5);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(settings, kxapp::kIdRealtimeWarning))) << "realtime shows no warning";
    Choose(settings, kxapp::kIdPriority, 3);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(settings, kxapp::kIdRealtimeWarning)));
    Press(settings, kxapp::kIdSave);
    const auto priority = kxtest::ReadValue(L"ProcessorPriority");
    ASSERT_TRUE(priority.has_value());
    EXPECT_EQ(priority->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorPriority"), 1u);
    // Only what the user changed is written: the language stays unset.
    EXPECT_FALSE(kxtest::ReadValue(L"Language").has_value()) << "a value the user did not change was written";

    // The next program in front runs above normal.
    HelperWindow first = StartHelperWindow(L"TKXProductFirst", L"Product test first");
    ASSERT_NE(first.window, nullptr);
    ASSERT_TRUE(BringToFront(first.window));
    ASSERT_TRUE(kxtest::WaitUntil([&] { return kxtest::ReadStringValue(L"Handle") == HandleText(first.window); },
                                  kTickBound))
        << "Handle reads " << Narrow(kxtest::ReadStringValue(L"Handle").value_or(L"(missing)")) << ", the helper is "
        << Narrow(HandleText(first.window));
    EXPECT_EQ(kxtest::PriorityClassOf(first.program.Pid()), static_cast<DWORD>(ABOVE_NORMAL_PRIORITY_CLASS));

    // A title row added in the block-list window; the case of A to Z does not matter.
    HWND blockList = OpenFrom(kxapp::kIdOpenBlockList, L"TKXAddBlockListForm");
    ASSERT_NE(blockList, nullptr);
    Choose(blockList, kxapp::kIdKind, 1);
    Type(blockList, kxapp::kIdPattern, L"blocked by THE product");
    Type(blockList, kxapp::kIdDescription, L"added, by the test");
    Press(blockList, kxapp::kIdAdd);
    // KestrixTray reads the list and clears the request.
    EXPECT_TRUE(kxtest::WaitUntil([] { return kxtest::ReadDwordValue(L"ReloadList") == 0u; }, kTickBound));

    HelperWindow blocked = StartHelperWindow(L"TKXProductBlocked", L"Window blocked by the product test");
    ASSERT_NE(blocked.window, nullptr);
    ASSERT_TRUE(BringToFront(blocked.window));
    ::Sleep(3500);  // three ticks and more
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), HandleText(first.window));
    EXPECT_EQ(kxtest::PriorityClassOf(blocked.program.Pid()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

TEST_F(ProductApp, WindowsInEnglishAndRussian) {
    HWND settings = OpenFrom(kxapp::kIdOpenSettings, L"TKXSettingsForm");
    ASSERT_NE(settings, nullptr);
    HWND blockList = OpenFrom(kxapp::kIdOpenBlockList, L"TKXAddBlockListForm");
    ASSERT_NE(blockList, nullptr);
    EXPECT_EQ(TextOf(form_), L"Kestrix");
    EXPECT_EQ(::SendDlgItemMessageW(blockList, kxapp::kIdBuiltIn, LVM_GETITEMCOUNT, 0, 0), 18);

    // A row added here lands in the file KestrixTray reads, in UTF-16 with its mark.
    Choose(blockList, kxapp::kIdKind, 2);
    Type(blockList, kxapp::kIdPattern, L"\\game.exe");
    Type(blockList, kxapp::kIdDescription, L"My game");
    Press(blockList, kxapp::kIdAdd);
    EXPECT_EQ(::SendDlgItemMessageW(blockList, kxapp::kIdUserRows, LVM_GETITEMCOUNT, 0, 0), 1);
    const auto file = kxtest::ReadFileBytes(BlockListFile());
    ASSERT_TRUE(file.has_value()) << "no block-list file";
    std::string expected = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"\"+\", \"2\", \"\\game.exe\", \"My game\"\r\n")) {
        expected.push_back(static_cast<char>(c & 0xFF));
        expected.push_back(static_cast<char>(c >> 8));
    }
    EXPECT_EQ(*file, expected);
    EXPECT_EQ(kxtest::ReadDwordValue(L"ReloadList").value_or(1) <= 1u, true);

    Screenshot(form_, L"main_english");
    Screenshot(settings, L"settings_english");
    Screenshot(blockList, L"blocklist_english");

    // Russian: every open window takes the new texts at once.
    Choose(settings, kxapp::kIdLanguage, 4);
    Press(settings, kxapp::kIdSave);
    EXPECT_EQ(kxtest::ReadStringValue(L"Language"), L"russian");
    EXPECT_EQ(TextOf(settings), L"\u041D\u0430\u0441\u0442\u0440\u043E\u0439\u043A\u0438 Kestrix");
    Screenshot(form_, L"main_russian");
    Screenshot(settings, L"settings_russian");
    Screenshot(blockList, L"blocklist_russian");

    // WM_CLOSE closes each window, as KestrixTray's Exit sends it.
    ::SendMessageW(blockList, WM_CLOSE, 0, 0);
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXAddBlockListForm"), nullptr);
}

std::string Utf16Bytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST_F(ProductApp, BlockListSavesReplaceTheFileKeepWhatTheyCouldNotShowAndNeverOverwriteAnotherEditor) {
    const std::wstring file = BlockListFile();
    const std::wstring folder = file.substr(0, file.rfind(L'\\'));
    ::CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    // A file with a NUL character: the row after it is not read.
    const std::string original = "\xFF\xFE" + Utf16Bytes(L"+ 1 Before a\r\n") + std::string(2, '\0') +
                                 Utf16Bytes(L"+ 1 After b\r\n");
    ASSERT_TRUE(kxtest::WriteFileBytes(file, original));
    HWND blockList = OpenFrom(kxapp::kIdOpenBlockList, L"TKXAddBlockListForm");
    ASSERT_NE(blockList, nullptr);
    EXPECT_EQ(::SendDlgItemMessageW(blockList, kxapp::kIdUserRows, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(TextOf(::GetDlgItem(blockList, kxapp::kIdStatus)).rfind(L"The file is not read to its end", 0), 0u);

    // The first save keeps the file whole as the backup; the second, a
    // routine one, replaces the file and leaves the backup as it was.
    Choose(blockList, kxapp::kIdKind, 1);
    for (const wchar_t* pattern : {L"First", L"Second"}) {
        Type(blockList, kxapp::kIdPattern, pattern);
        Type(blockList, kxapp::kIdDescription, L"d");
        Press(blockList, kxapp::kIdAdd);
        EXPECT_EQ(TextOf(::GetDlgItem(blockList, kxapp::kIdStatus)),
                  L"Saved. KestrixTray reads the new block list within a second.");
    }
    EXPECT_EQ(kxtest::ReadFileBytes(file + L".bak"), original);
    EXPECT_EQ(kxtest::ReadFileBytes(file), "\xFF\xFE" + Utf16Bytes(L"+ 1 Before a\r\n"
                                                               L"\"+\", \"1\", \"First\", \"d\"\r\n"
                                                               L"\"+\", \"1\", \"Second\", \"d\"\r\n"));
    EXPECT_FALSE(kxtest::ReadFileBytes(file + L".old").has_value());
    EXPECT_FALSE(kxtest::ReadFileBytes(file + L".new").has_value());

    // Another editor writes the file meanwhile: this one does not overwrite
    // it, shows it as it now stands and says so.
    ::Sleep(50);
    const std::string theirs = "\xFF\xFE" + Utf16Bytes(L"+ 1 Theirs t\r\n");
    ASSERT_TRUE(kxtest::WriteFileBytes(file, theirs));
    Type(blockList, kxapp::kIdPattern, L"Third");
    Press(blockList, kxapp::kIdAdd);
    EXPECT_EQ(TextOf(::GetDlgItem(blockList, kxapp::kIdStatus)).rfind(L"The block list was changed elsewhere", 0), 0u);
    EXPECT_EQ(kxtest::ReadFileBytes(file), theirs);
    EXPECT_EQ(::SendDlgItemMessageW(blockList, kxapp::kIdUserRows, LVM_GETITEMCOUNT, 0, 0), 1);
    // Made again, the change goes on top of their rows.
    Press(blockList, kxapp::kIdAdd);
    EXPECT_EQ(::SendDlgItemMessageW(blockList, kxapp::kIdUserRows, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(kxtest::ReadFileBytes(file), theirs + Utf16Bytes(L"\"+\", \"1\", \"Third\", \"d\"\r\n"));
    ::DeleteFileW((file + L".bak").c_str());
}

TEST_F(ProductApp, SelfCheckStatisticsAndAboutTellTheTruth) {
    ASSERT_NE(kxtest::WaitForWindow(L"TKXTrayForm", kStartBound), nullptr);
    HWND check = OpenFrom(kxapp::kIdOpenTest, L"TKXTestForm");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(check, kxapp::kIdCheckResult + 0)), L"OK");
    EXPECT_EQ(TextOf(::GetDlgItem(check, kxapp::kIdCheckResult + 1)), L"OK");
    EXPECT_EQ(TextOf(::GetDlgItem(check, kxapp::kIdCheckResult + 2)), L"No file yet: only the built-in rows are in force");
    // With the settings key read-only the check says so.
    ASSERT_TRUE(kxtest::MakeKeyReadOnly());
    Press(check, kxapp::kIdRunChecks);
    EXPECT_EQ(TextOf(::GetDlgItem(check, kxapp::kIdCheckResult + 1)), L"Problem");
    ASSERT_TRUE(kxtest::MakeKeyWritable());

    // A removal line written by hand shows in the statistics.
    ::SHCreateDirectoryExW(nullptr, (ProgramDataFolder() + L"VELMOR\\Kestrix").c_str(), nullptr);
    ASSERT_TRUE(kxtest::WriteFileBytes(BlockListFile(), "- Print\r\n+ 1 Notepad editor\r\n"));
    HWND stats = OpenFrom(kxapp::kIdOpenStats, L"TKXStatsForm");
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(stats, kxapp::kIdStatValue + 4)), L"17 / 18");
    EXPECT_EQ(TextOf(::GetDlgItem(stats, kxapp::kIdStatValue + 5)), L"1");
    Press(check, kxapp::kIdRunChecks);
    EXPECT_EQ(TextOf(::GetDlgItem(check, kxapp::kIdCheckResult + 2)), L"OK");

    HWND about = OpenFrom(kxapp::kIdOpenAbout, L"TKXAboutForm");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(about, kxapp::kIdVersion)), L"Version 5.3.7.2022");
    Press(about, kxapp::kIdClose);
    EXPECT_EQ(kxtest::FindTopWindow(L"TKXAboutForm"), nullptr);
}

TEST_F(ProductApp, WithoutTheDataFolderTheEditorAsksForARepairAndMakesNone) {
    // Made as this account, the folder would have this account's rights and
    // the next installation would refuse it.
    const std::wstring data = ProgramDataFolder() + L"VELMOR\\Kestrix";
    ::RemoveDirectoryW(data.c_str());
    ::RemoveDirectoryW((ProgramDataFolder() + L"VELMOR").c_str());
    ASSERT_EQ(::GetFileAttributesW(data.c_str()), INVALID_FILE_ATTRIBUTES);
    HWND blockList = OpenFrom(kxapp::kIdOpenBlockList, L"TKXAddBlockListForm");
    ASSERT_NE(blockList, nullptr);
    const std::wstring repair =
        L"The block-list folder is missing, so the block list cannot be saved. Repair the installation by running "
        L"Kestrix setup again.";
    EXPECT_EQ(TextOf(::GetDlgItem(blockList, kxapp::kIdStatus)), repair);
    Choose(blockList, kxapp::kIdKind, 1);
    Type(blockList, kxapp::kIdPattern, L"Some game");
    Press(blockList, kxapp::kIdAdd);
    EXPECT_EQ(TextOf(::GetDlgItem(blockList, kxapp::kIdStatus)), repair);
    EXPECT_EQ(::GetFileAttributesW((ProgramDataFolder() + L"VELMOR").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProductApp, StartWithWindowsNeedsAnInstalledLocation) {
    // This copy runs from the build folder and no installation is recorded.
    constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    kxtest::DeleteValue(L"KestrixTray", kRun);
    HWND settings = OpenFrom(kxapp::kIdOpenSettings, L"TKXSettingsForm");
    ASSERT_NE(settings, nullptr);
    ::CheckDlgButton(settings, kxapp::kIdStartWithWindows, BST_CHECKED);
    Press(settings, kxapp::kIdSave);
    EXPECT_EQ(TextOf(::GetDlgItem(settings, kxapp::kIdStatus)),
              L"Kestrix cannot start with Windows: no installed copy is recorded on this computer. Repair the "
              L"installation by running Kestrix setup again.");
    EXPECT_FALSE(kxtest::ReadValue(L"KestrixTray", kRun).has_value()) << "the build folder became the logon program";
}

// Saving changes only what the user changed: values the program does not
// know (a language without a table, a priority outside -2..3, a colour text
// that is no colour) stay as stored, and the save is not reported as refused.
TEST_F(ProductApp, SavingKeepsStoredValuesTheUserDidNotChange) {
    // A known level is shown as stored too (it used to show as High, and a save wrote 2).
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 0));
    HWND first = OpenFrom(kxapp::kIdOpenSettings, L"TKXSettingsForm");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(first, kxapp::kIdPriority), CB_GETCURSEL, 0, 0), 2);
    ::SendMessageW(first, WM_CLOSE, 0, 0);

    ASSERT_TRUE(kxtest::SetStringValue(L"Language", L"german"));
    ASSERT_TRUE(kxtest::SetDwordValue(L"ProcessorPriority", 7));
    ASSERT_TRUE(kxtest::SetDwordValue(L"LoadKestrix", 1));
    ASSERT_TRUE(kxtest::SetStringValue(L"BarColor", L"orange"));

    HWND settings = OpenFrom(kxapp::kIdOpenSettings, L"TKXSettingsForm");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(Chosen(::GetDlgItem(settings, kxapp::kIdLanguage)), L"german");
    EXPECT_EQ(Chosen(::GetDlgItem(settings, kxapp::kIdPriority)), L"7");
    Press(settings, kxapp::kIdSave);
    EXPECT_EQ(kxtest::ReadStringValue(L"Language"), L"german");
    EXPECT_EQ(kxtest::ReadDwordValue(L"ProcessorPriority"), 7u);
    EXPECT_EQ(kxtest::ReadDwordValue(L"LoadKestrix"), 1u) << "no logon entry turned LoadKestrix off";
    EXPECT_EQ(TextOf(::GetDlgItem(settings, kxapp::kIdStatus)), L"The settings are saved. KestrixTray uses them from its next second on.");

    HWND advanced = OpenFrom(kxapp::kIdOpenAdvanced, L"TKXAdvancedSettingsForm");
    ASSERT_NE(advanced, nullptr);
    Press(advanced, kxapp::kIdSave);
    EXPECT_EQ(kxtest::ReadStringValue(L"BarColor"), L"orange");
    EXPECT_EQ(TextOf(::GetDlgItem(advanced, kxapp::kIdStatus)), L"The settings are saved. KestrixTray uses them from its next second on.");
}

TEST_F(ProductApp, ASecondStartBringsTheFirstForward) {
    ::ShowWindow(form_, SW_MINIMIZE);
    ASSERT_TRUE(kxtest::WaitUntil([&] { return ::IsIconic(form_) != FALSE; }, 5000));
    Program second = kxtest::StartProgram(ProductFolder() + L"Kestrix.exe", L"", ProductFolder());
    ASSERT_TRUE(second.Started());
    EXPECT_TRUE(second.WaitForExit(15000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(main_.Running());
    EXPECT_TRUE(kxtest::WaitUntil([&] { return ::IsIconic(form_) == FALSE; }, 5000)) << "the first window stays minimized";
}

}  // namespace
