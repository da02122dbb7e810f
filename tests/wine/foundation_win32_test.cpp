// wine-test: version=win10 desktop=no timeout=90
// The foundation half of the Windows side against the real system: version
// records, code pages, drives, time conversion, ntdll's system query through
// its looked-up entry point, resources, file reading, the performance-data
// key, and library loading from the system folder only.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "WineTestSupport.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace {

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// ------------------------------------------------------------- system info

TEST(Win32SystemOnWindows, VersionRecordsOfBothSizesAndNoOther) {
    kx::Win32System system;
    kx::OsVersionInfo extended;
    extended.dwOSVersionInfoSize = 284;
    ASSERT_TRUE(system.GetVersionExW(&extended));
    EXPECT_EQ(extended.dwMajorVersion, 10u);
    EXPECT_EQ(extended.wProductType, 1) << "VER_NT_WORKSTATION";

    kx::OsVersionInfo basic;
    basic.dwOSVersionInfoSize = 276;
    ASSERT_TRUE(system.GetVersionExW(&basic));
    EXPECT_EQ(basic.dwMajorVersion, 10u);
    EXPECT_EQ(basic.wProductType, 0) << "the basic record has no product type";

    kx::OsVersionInfo wrong;
    wrong.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(system.GetVersionExW(&wrong));
}

TEST(Win32SystemOnWindows, DecodesAnsiBytesInTheGivenCodePage) {
    kx::Win32System system;
    EXPECT_NE(system.GetACP(), 0u);
    const std::uint8_t western[] = {0x80, 'A', 0xE9};
    EXPECT_EQ(system.MultiByteToWideChar(1252, western, sizeof western), u"\u20ACA\u00E9");
    const std::uint8_t cyrillic[] = {0xC0, 0xFF};
    EXPECT_EQ(system.MultiByteToWideChar(1251, cyrillic, sizeof cyrillic), u"\u0410\u044F");
    EXPECT_EQ(system.MultiByteToWideChar(1252, western, 0), u"");
}

TEST(Win32SystemOnWindows, DriveStringsAndDosDeviceNames) {
    kx::Win32System system;
    const std::uint32_t needed = system.GetLogicalDriveStringsW(0, nullptr);
    ASSERT_GT(needed, 0u);
    std::u16string buffer(needed + 1, u'\0');
    const std::uint32_t written = system.GetLogicalDriveStringsW(needed + 1, &buffer[0]);
    ASSERT_GT(written, 0u);
    ASSERT_LE(written, needed);
    EXPECT_NE(buffer.substr(0, written).find(u"C:\\"), std::u16string::npos);

    char16_t device[260] = {};
    ASSERT_GT(system.QueryDosDeviceW(u"C:", device, 260), 0u);
    EXPECT_EQ(device[0], u'\\') << "an NT device path";
    EXPECT_EQ(system.QueryDosDeviceW(u"Q9:", device, 260), 0u);
}

TEST(Win32SystemOnWindows, SystemTimeToFileTime) {
    kx::Win32System system;
    kx::SystemTime day2;
    day2.wYear = 1601;
    day2.wMonth = 1;
    day2.wDay = 2;
    std::int64_t fileTime = -1;
    ASSERT_TRUE(system.SystemTimeToFileTime(day2, &fileTime));
    EXPECT_EQ(fileTime, 864000000000LL);

    kx::SystemTime late;
    late.wYear = 2022;
    late.wMonth = 12;
    late.wDay = 31;
    late.wHour = 23;
    late.wMinute = 59;
    late.wSecond = 59;
    late.wMilliseconds = 999;
    ASSERT_TRUE(system.SystemTimeToFileTime(late, &fileTime));
    EXPECT_EQ(fileTime, 133170047999990000LL);

    kx::SystemTime invalid = day2;
    invalid.wMonth = 13;
    EXPECT_FALSE(system.SystemTimeToFileTime(invalid, &fileTime));
}

TEST(Win32SystemOnWindows, NtQuerySystemInformationThroughItsLookedUpEntry) {
    kx::Win32Libraries libraries;
    kx::Win32System system;
    kx::OwnedLibrary ntdll(libraries, libraries.LoadLibraryW(u"ntdll.dll"));
    ASSERT_TRUE(ntdll);
    const kx::ProcAddress entry = libraries.GetProcAddress(ntdll.get(), "NtQuerySystemInformation");
    ASSERT_NE(entry, 0u);

    // SystemBasicInformation (class 0) in this process's own layout: 44 bytes
    // with the number of processors at offset 40 in a 32-bit process, 64 bytes
    // with it at offset 56 in a 64-bit one; the other length is refused.
    std::uint8_t basic[kx::w32::kSystemBasicInformationLength] = {};
    std::uint32_t returned = 0;
    ASSERT_EQ(system.CallNtQuerySystemInformation(entry, 0, basic, sizeof basic, &returned), 0);
    EXPECT_EQ(returned, sizeof basic);
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    EXPECT_EQ(basic[kx::w32::kSystemBasicNumberOfProcessorsOffset], static_cast<std::uint8_t>(info.dwNumberOfProcessors));
    std::uint8_t otherLayout[64] = {};
    const std::uint32_t otherLength = sizeof basic == 44 ? 64u : 44u;
    EXPECT_EQ(system.CallNtQuerySystemInformation(entry, 0, otherLayout, otherLength, &returned),
              static_cast<long>(0xC0000004L))  // STATUS_INFO_LENGTH_MISMATCH
        << "the other bitness's layout must be refused, or the layout is not proved";

    // Too small a buffer: STATUS_INFO_LENGTH_MISMATCH, and the stack is still
    // sound afterwards (the entry is called with its own convention).
    std::uint8_t small[8] = {};
    EXPECT_EQ(static_cast<unsigned long>(system.CallNtQuerySystemInformation(entry, 0, small, sizeof small, &returned)),
              0xC0000004ul);
    EXPECT_EQ(static_cast<unsigned long>(system.CallNtQuerySystemInformation(0, 0, basic, sizeof basic, &returned)),
              0xC0000002ul)
        << "no entry point: STATUS_NOT_IMPLEMENTED, not a call through null";
}

TEST(Win32SystemOnWindows, RcDataResourcesByNameInAnyCase) {
    kx::Win32System system;
    const std::string expected = "KX,sample\r\n\"quoted, text\"\r\n";
    for (const char16_t* name : {u"KXSAMPLE", u"kxsample", u"KxSample"}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(system.LoadRcDataResource(name, &bytes));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    }
    std::vector<std::uint8_t> none{1, 2, 3};
    EXPECT_FALSE(system.LoadRcDataResource(u"NOSUCHTABLE", &none));
}

// ------------------------------------------------------------------- files

class Win32FilesOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH + 1];
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, folder), 0u);
        path = std::wstring(folder) + L"kx-files-test.csv";
        ASSERT_TRUE(kxtest::WriteFileBytes(path, content));
    }
    void TearDown() override { ::DeleteFileW(path.c_str()); }

    std::wstring path;
    const std::string content = "notepad.exe,1\r\n#Shell_TrayWnd\r\n";
    kx::Win32Files files;
};

TEST_F(Win32FilesOnWindows, OpensSizesReadsAndCloses) {
    const kx::KHandle file = files.CreateFileW(U16(path), kx::w32::kGenericRead, kx::w32::kFileShareRead,
                                               kx::w32::kOpenExisting);
    ASSERT_NE(file, 0u);
    std::int64_t size = 0;
    ASSERT_TRUE(files.GetFileSizeEx(file, &size));
    EXPECT_EQ(size, static_cast<std::int64_t>(content.size()));
    std::string read(content.size() + 8, '\0');
    std::uint32_t got = 0;
    ASSERT_TRUE(files.ReadFile(file, &read[0], static_cast<std::uint32_t>(read.size()), &got));
    EXPECT_EQ(read.substr(0, got), content);
    ASSERT_TRUE(files.ReadFile(file, &read[0], 4, &got));
    EXPECT_EQ(got, 0u) << "end of file";
    EXPECT_TRUE(files.CloseHandle(file));
}

TEST_F(Win32FilesOnWindows, FailuresAreReportedAsNoHandle) {
    EXPECT_EQ(files.CreateFileW(U16(path) + u".missing", kx::w32::kGenericRead, kx::w32::kFileShareRead,
                                kx::w32::kOpenExisting),
              0u)
        << "INVALID_HANDLE_VALUE is reported as 0";

    // Another program has the file open for writing: a reader that shares
    // only reading is refused.
    HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files.CreateFileW(U16(path), kx::w32::kGenericRead, kx::w32::kFileShareRead, kx::w32::kOpenExisting),
              0u);
    ::CloseHandle(writer);
}

// ---------------------------------------------------------------- registry

TEST(Win32RegistryOnWindows, PerformanceDataBlockOfValue238) {
    kx::Win32Registry registry;
    std::vector<std::uint8_t> data(4096);
    long status = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    for (int attempt = 0; attempt < 12; ++attempt) {
        size = static_cast<std::uint32_t>(data.size());
        status = registry.RegQueryValueExW(kx::w32::kHkeyPerformanceData, u"238", &type, data.data(), &size);
        if (status != kx::w32::kErrorMoreData) break;
        data.resize(data.size() * 2);
    }
    registry.RegCloseKey(kx::w32::kHkeyPerformanceData);
    ASSERT_EQ(status, kx::w32::kErrorSuccess);
    ASSERT_GE(size, 8u);
    EXPECT_EQ(std::memcmp(data.data(), u"PERF", 8), 0) << "a PERF_DATA_BLOCK";
}

TEST(Win32RegistryOnWindows, MissingKeyAndValueStatuses) {
    kxtest::DeleteKeyTree();
    kx::Win32Registry registry;
    kx::KHandle key = 123;
    EXPECT_EQ(registry.RegOpenKeyExW(kx::w32::kHkeyLocalMachine, u"Software\\VELMOR\\Kestrix", kx::w32::kKeyRead,
                                     &key),
              kx::w32::kErrorFileNotFound);
    EXPECT_EQ(key, 0u);

    ASSERT_EQ(registry.RegCreateKeyExW(kx::w32::kHkeyLocalMachine, u"Software\\VELMOR\\Kestrix", kx::w32::kKeyWrite,
                                       &key),
              kx::w32::kErrorSuccess);
    const std::uint8_t text[] = {'4', 0, '2', 0, 0, 0};
    EXPECT_EQ(registry.RegSetValueExW(key, u"Handle", kx::w32::kRegSz, text, sizeof text), kx::w32::kErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), kx::w32::kErrorSuccess);

    ASSERT_EQ(registry.RegOpenKeyExW(kx::w32::kHkeyLocalMachine, u"Software\\VELMOR\\Kestrix", kx::w32::kKeyRead,
                                     &key),
              kx::w32::kErrorSuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry.RegQueryValueExW(key, u"Handle", &type, nullptr, &size), kx::w32::kErrorSuccess);
    EXPECT_EQ(type, kx::w32::kRegSz);
    EXPECT_EQ(size, sizeof text);
    std::uint8_t small[2];
    size = sizeof small;
    EXPECT_EQ(registry.RegQueryValueExW(key, u"Handle", &type, small, &size), kx::w32::kErrorMoreData);
    EXPECT_EQ(registry.RegQueryValueExW(key, u"Nothing", &type, nullptr, &size), kx::w32::kErrorFileNotFound);
    registry.RegCloseKey(key);
    kxtest::DeleteKeyTree();
}

// --------------------------------------------------------------- libraries

TEST(Win32LibrariesOnWindows, LoadsSystemLibrariesAndFindsTheirEntries) {
    kx::Win32Libraries libraries;
    for (const char16_t* name : {u"Psapi.dll", u"kernel32.dll", u"ntdll.dll", u"hhctrl.ocx"}) {
        kx::OwnedLibrary library(libraries, libraries.LoadLibraryW(name));
        EXPECT_TRUE(library) << std::string(name, name + std::char_traits<char16_t>::length(name));
    }
    kx::OwnedLibrary psapi(libraries, libraries.LoadLibraryW(u"psapi.dll"));
    ASSERT_TRUE(psapi);
    EXPECT_NE(libraries.GetProcAddress(psapi.get(), "GetProcessImageFileNameW"), 0u);
    EXPECT_EQ(libraries.GetProcAddress(psapi.get(), "NoSuchEntryPoint"), 0u);
    EXPECT_EQ(libraries.PinnedCount(), 4u) << "one pin per library, whatever the case of its name";
    EXPECT_EQ(libraries.LoadLibraryW(u"no-such-library.dll"), 0u);
}

TEST(Win32LibrariesOnWindows, NeverLoadsFromTheProgramOrCurrentFolder) {
    // A loadable library planted beside the program, under a name that the
    // system folder does not have.
    wchar_t system[MAX_PATH + 1];
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH + 1), 0u);
    const std::wstring planted = kxtest::BinFolder() + L"kxplanted.dll";
    ASSERT_TRUE(::CopyFileW((std::wstring(system) + L"\\psapi.dll").c_str(), planted.c_str(), FALSE));
    HMODULE ordinary = ::LoadLibraryW(L"kxplanted.dll");
    EXPECT_NE(ordinary, nullptr) << "the ordinary search finds the planted library";
    if (ordinary != nullptr) ::FreeLibrary(ordinary);

    kx::Win32Libraries libraries;
    EXPECT_EQ(libraries.LoadLibraryW(u"kxplanted.dll"), 0u);
    EXPECT_EQ(libraries.LoadLibraryW(U16(planted)), 0u) << "a path is refused too";
    EXPECT_EQ(libraries.LoadLibraryW(u"..\\kxplanted.dll"), 0u);
    ::DeleteFileW(planted.c_str());
}

TEST(Win32LibrariesOnWindows, PinnedLibraryStaysLoadedBetweenUsesUntilTheOwnerEnds) {
    ASSERT_EQ(::GetModuleHandleW(L"hhctrl.ocx"), nullptr) << "the test program must not load it itself";
    {
        kx::Win32Libraries libraries;
        const kx::KHandle first = libraries.LoadLibraryW(u"hhctrl.ocx");
        ASSERT_NE(first, 0u);
        EXPECT_TRUE(libraries.FreeLibrary(first));
        EXPECT_NE(::GetModuleHandleW(L"hhctrl.ocx"), nullptr) << "freed by its user, kept by the pin";

        // Cost of one look-up as the program makes it (load, find, free), against
        // a library really loaded and unloaded each time.
        constexpr int kRounds = 2000;
        const auto pinnedStart = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) {
            kx::OwnedLibrary library(libraries, libraries.LoadLibraryW(u"hhctrl.ocx"));
            ASSERT_NE(libraries.GetProcAddress(library.get(), "HtmlHelpW"), 0u);
        }
        const auto pinnedNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - pinnedStart)
                                  .count() / kRounds;
        constexpr int kUnpinnedRounds = 50;
        const auto unpinnedStart = std::chrono::steady_clock::now();
        for (int i = 0; i < kUnpinnedRounds; ++i) {
            HMODULE module = ::LoadLibraryExW(L"msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
            ASSERT_NE(module, nullptr);
            ::FreeLibrary(module);
        }
        const auto unpinnedNs =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - unpinnedStart).count() /
            kUnpinnedRounds;
        std::printf("library look-up: pinned %.0f ns per use; loaded and freed each time %.0f ns per use\n", pinnedNs,
                    unpinnedNs);
        RecordProperty("pinned_ns_per_use", static_cast<int>(pinnedNs));
        RecordProperty("unpinned_ns_per_use", static_cast<int>(unpinnedNs));
    }
    EXPECT_EQ(::GetModuleHandleW(L"hhctrl.ocx"), nullptr) << "the owner's end releases the pin";
}

}  // namespace
