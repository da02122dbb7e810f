// wine-test: version=win10 desktop=no timeout=60
// The settings store against the real registry: the key lives in the
// program's own view of HKEY_LOCAL_MACHINE (the 32-bit view for the shipped
// 32-bit build, the 64-bit view for an x86_64 build), reads fall back to their defaults, writes create
// the key, and a refused write leaves the old value in place.
#include <gtest/gtest.h>

#include "WineTestSupport.h"
#include "config/Settings.h"
#include "platform/win32/Win32Registry.h"

namespace {

using kxtest::kSettingsKey;

class SettingsStoreOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kxtest::DeleteKeyTree());
        ASSERT_FALSE(kxtest::KeyExists());
    }
    void TearDown() override { kxtest::DeleteKeyTree(); }

    kx::Win32Registry registry;
    kx::SettingsStore store{registry};
};

TEST_F(SettingsStoreOnWindows, MissingKeyGivesEveryDefaultAndReadsCreateNothing) {
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"0");
    EXPECT_EQ(store.RegReadInteger(u"ProcessorPriority", 2), 2);
    EXPECT_TRUE(store.RegReadBool(u"LoadKestrix", true));
    EXPECT_FALSE(store.RegReadBool(u"ReloadList", false));
    EXPECT_FALSE(kxtest::KeyExists());
}

TEST_F(SettingsStoreOnWindows, WritesCreateTheKeyInTheProgramsViewWithTheirTypes) {
    store.RegWriteString(u"Handle", u"131140");
    store.RegWriteBool(u"ReloadList", true);
    store.RegWriteBool(u"LoadTrayIcon", false);

    EXPECT_TRUE(kxtest::KeyExists(kSettingsKey, kxtest::kProgramView));
    EXPECT_FALSE(kxtest::KeyExists(kSettingsKey, kxtest::kOtherView)) << "the key must not be in the other view";
    EXPECT_EQ(kxtest::ReadStringValue(L"Handle"), std::optional<std::wstring>(L"131140"));
    EXPECT_EQ(kxtest::ReadDwordValue(L"ReloadList"), std::optional<DWORD>(1));
    EXPECT_EQ(kxtest::ReadDwordValue(L"LoadTrayIcon"), std::optional<DWORD>(0));

    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"131140");
    EXPECT_TRUE(store.RegReadBool(u"ReloadList", false));
    EXPECT_FALSE(store.RegReadBool(u"LoadTrayIcon", true));
}

TEST_F(SettingsStoreOnWindows, RewritingAValueReplacesIt) {
    store.RegWriteString(u"Handle", u"1");
    store.RegWriteString(u"Handle", u"65538");
    store.RegWriteBool(u"ReloadList", true);
    store.RegWriteBool(u"ReloadList", false);
    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"65538");
    EXPECT_EQ(kxtest::ReadDwordValue(L"ReloadList"), std::optional<DWORD>(0));
}

// What the main program (or anyone) may have stored, and what each kind of read makes of it.
struct StoredCase {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;
    std::int32_t integer;  // RegReadInteger(name, 2)
    bool boolean;          // RegReadBool(name, true)
    std::u16string text;   // RegReadString(name, u"dflt")
};

std::vector<BYTE> Utf16(const std::u16string& text, bool terminated) {
    std::vector<BYTE> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::vector<BYTE> Dword(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

TEST_F(SettingsStoreOnWindows, EachKindOfReadTakesOnlyItsOwnType) {
    const StoredCase cases[] = {
        {"dword 5", REG_DWORD, Dword(5), 5, true, u"dflt"},
        {"dword 0 against a true default", REG_DWORD, Dword(0), 0, false, u"dflt"},
        {"dword -2", REG_DWORD, Dword(0xFFFFFFFEu), -2, true, u"dflt"},
        {"text holding a number", REG_SZ, Utf16(u"3", true), 2, true, u"3"},
        {"empty text", REG_SZ, Utf16(u"", true), 2, true, u"dflt"},
        {"text stored without its terminating zero", REG_SZ, Utf16(u"12", false), 2, true, u"12"},
        {"binary of dword size", REG_BINARY, Dword(7), 2, true, u"dflt"},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 2, true, u"dflt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kxtest::SetRawValue(L"Probe", c.type, c.data));
        EXPECT_EQ(store.RegReadInteger(u"Probe", 2), c.integer);
        EXPECT_EQ(store.RegReadBool(u"Probe", true), c.boolean);
        EXPECT_EQ(store.RegReadString(u"Probe", u"dflt"), c.text);
    }
}

TEST_F(SettingsStoreOnWindows, RefusedWriteLeavesTheOldTextAndRaisesNothing) {
    ASSERT_TRUE(kxtest::SetStringValue(L"Handle", L"777"));
    ASSERT_TRUE(kxtest::MakeKeyReadOnly());
    HKEY refused = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_WRITE | kxtest::kProgramView, &refused),
              ERROR_ACCESS_DENIED)
        << "the read-only key must refuse writing, or this test proves nothing";

    EXPECT_NO_THROW(store.RegWriteString(u"Handle", u"888"));
    EXPECT_NO_THROW(store.RegWriteBool(u"ReloadList", false));

    EXPECT_EQ(store.RegReadString(u"Handle", u"0"), u"777");
    EXPECT_FALSE(kxtest::ReadValue(L"ReloadList").has_value());
}

}  // namespace
