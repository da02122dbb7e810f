#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "companion/SettingsEditor.h"
#include "config/Settings.h"
#include "display/ColorText.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;

const Text kSettings = u"HKLM\\Software\\VELMOR\\Kestrix";
const Text kRun = u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const Text kUninstall = u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix";

struct Rig {
    Rig() { sim.world.SetVersion(6, 1, 1); }
    SimPlatform sim;
    SettingsEditor editor{sim.registry, sim.system};
    SettingsStore tray{sim.registry};  // how KestrixTray reads the same values
};

std::uint32_t Dword(const sim::RegValue& value) {
    return value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (static_cast<std::uint32_t>(value.data[3]) << 24);
}

TEST(SettingsEditor, ValidValuesAreWrittenWithTheTypeKestrixTrayReads) {
    struct Case {
        const char* name;
        std::function<SettingWrite(SettingsEditor&)> write;
        Text value;
        std::uint32_t type;
        std::function<void(const SettingsStore&)> trayReads;
    };
    const std::vector<Case> cases = {
        {"lowest priority", [](SettingsEditor& e) { return e.WritePriority(-2); }, u"ProcessorPriority", w32::kRegDword,
         [](const SettingsStore& s) { EXPECT_EQ(s.RegReadInteger(u"ProcessorPriority", 2), -2); }},
        {"realtime", [](SettingsEditor& e) { return e.WritePriority(3); }, u"ProcessorPriority", w32::kRegDword,
         [](const SettingsStore& s) { EXPECT_EQ(s.RegReadInteger(u"ProcessorPriority", 2), 3); }},
        {"ideal off", [](SettingsEditor& e) { return e.WriteSwitch(u"ProcessorIdeal", false); }, u"ProcessorIdeal",
         w32::kRegDword, [](const SettingsStore& s) { EXPECT_FALSE(s.RegReadBool(u"ProcessorIdeal", true)); }},
        {"icon off", [](SettingsEditor& e) { return e.WriteSwitch(u"LoadTrayIcon", false); }, u"LoadTrayIcon",
         w32::kRegDword, [](const SettingsStore& s) { EXPECT_FALSE(s.RegReadBool(u"LoadTrayIcon", true)); }},
        {"instant boost on", [](SettingsEditor& e) { return e.WriteSwitch(u"InstantBoost", true); }, u"InstantBoost",
         w32::kRegDword, [](const SettingsStore& s) { EXPECT_TRUE(s.RegReadBool(u"InstantBoost", false)); }},
        {"restore on exit on", [](SettingsEditor& e) { return e.WriteSwitch(u"RestoreOnExit", true); },
         u"RestoreOnExit", w32::kRegDword,
         [](const SettingsStore& s) { EXPECT_TRUE(s.RegReadBool(u"RestoreOnExit", false)); }},
        {"reload", [](SettingsEditor& e) { return e.RequestReload(); }, u"ReloadList", w32::kRegDword,
         [](const SettingsStore& s) { EXPECT_TRUE(s.RegReadBool(u"ReloadList", false)); }},
        {"colour", [](SettingsEditor& e) { return e.WriteColor(u"BarColor", SettingsEditor::ColorRefToText(0x00123456)); },
         u"BarColor", w32::kRegSz,
         [](const SettingsStore& s) { EXPECT_EQ(ParseColorText(s.RegReadString(u"BarColor", u"")), 0x00123456); }},
        {"colour name", [](SettingsEditor& e) { return e.WriteColor(u"GridColor", u"clTeal"); }, u"GridColor",
         w32::kRegSz, [](const SettingsStore& s) { EXPECT_EQ(s.RegReadString(u"GridColor", u""), u"clTeal"); }},
        {"language", [](SettingsEditor& e) { return e.WriteLanguage(u"RUSSIAN"); }, u"Language", w32::kRegSz,
         [](const SettingsStore& s) { EXPECT_EQ(s.RegReadString(u"Language", u""), u"russian"); }},
        {"update date, seconds form", [](SettingsEditor& e) { return e.WriteUpdatedDate(-86400); }, u"UpdatedDate",
         w32::kRegSz, [](const SettingsStore& s) { EXPECT_EQ(s.RegReadString(u"UpdatedDate", u""), u"-86400"); }},
    };
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(c.write(rig.editor), SettingWrite::Written) << c.name;
        const auto* value = rig.sim.world.Value(kSettings, c.value);
        ASSERT_NE(value, nullptr) << c.name;
        EXPECT_EQ(value->type, c.type) << c.name;
        if (c.type == w32::kRegDword) {
            EXPECT_EQ(value->data.size(), 4u) << c.name;
        }
        c.trayReads(rig.tray);
        EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(SettingsEditor, InvalidValuesAreNeverWritten) {
    struct Case {
        const char* name;
        std::function<SettingWrite(SettingsEditor&)> write;
    };
    const std::vector<Case> cases = {
        {"priority 4", [](SettingsEditor& e) { return e.WritePriority(4); }},
        {"priority -3", [](SettingsEditor& e) { return e.WritePriority(-3); }},
        {"colour word", [](SettingsEditor& e) { return e.WriteColor(u"BarColor", u"orange"); }},
        {"colour with trailing text", [](SettingsEditor& e) { return e.WriteColor(u"BarColor", u"$00FF8000x"); }},
        {"colour into another value", [](SettingsEditor& e) { return e.WriteColor(u"Language", u"clRed"); }},
        {"language without a table", [](SettingsEditor& e) { return e.WriteLanguage(u"german"); }},
        {"switch of a text value", [](SettingsEditor& e) { return e.WriteSwitch(u"Handle", true); }},
    };
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(c.write(rig.editor), SettingWrite::Invalid) << c.name;
        EXPECT_EQ(rig.sim.world.keys.count(sim::Upper(kSettings)), 0u) << c.name;
    }
}

TEST(SettingsEditor, ARefusedWriteIsReportedAndLeavesTheOldValue) {
    Rig rig;
    rig.sim.world.SetDword(kSettings, u"ProcessorPriority", 1);
    rig.sim.world.Key(kSettings).denyWrite = true;
    EXPECT_EQ(rig.editor.WritePriority(3), SettingWrite::Refused);
    EXPECT_EQ(rig.editor.ProbeWrite(), SettingWrite::Refused);
    EXPECT_EQ(rig.tray.RegReadInteger(u"ProcessorPriority", 2), 1);
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

TEST(SettingsEditor, ReadShowsKestrixTraysDefaultsForMissingOrMistypedValues) {
    Rig rig;
    rig.sim.world.SetString(kSettings, u"ProcessorPriority", u"3");  // text, not an integer
    rig.sim.world.SetDword(kSettings, u"LoadTrayIcon", 0);
    rig.sim.world.SetString(kSettings, u"Language", u"French");
    const SettingsSnapshot s = rig.editor.Read();
    EXPECT_EQ(s.processorPriority, 2);
    EXPECT_TRUE(s.processorIdeal);
    EXPECT_FALSE(s.loadTrayIcon);
    // Missing, as before an install wrote them: the behaviour of the one-second look.
    EXPECT_FALSE(s.instantBoost);
    EXPECT_FALSE(s.restoreOnExit);
    EXPECT_EQ(s.language, u"french");
    EXPECT_EQ(s.handle, u"0");
    EXPECT_EQ(s.backgroundColor, u"clWhite");
    EXPECT_EQ(s.barColor, u"$00FF8000");

    Rig vista;
    vista.sim.world.SetVersion(6, 0, 1);
    EXPECT_EQ(vista.editor.Read().backgroundColor, u"clBlue");
    EXPECT_EQ(vista.editor.Read().gridColor, u"clTeal");
}

// The stored logon command line, read as text.
Text RunCommand(const sim::RegValue& value) {
    Text command;
    for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const auto c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
        if (c != 0) command.push_back(c);
    }
    return command;
}

TEST(SettingsEditor, TheLogonEntryStartsKestrixTrayWithStart) {
    Rig rig;
    rig.sim.world.SetString(kUninstall, u"InstallLocation", u"C:\\Program Files\\VELMOR\\Kestrix");
    EXPECT_FALSE(rig.editor.StartsWithWindows());
    ASSERT_EQ(rig.editor.SetStartWithWindows(true), SettingWrite::Written);
    const auto* value = rig.sim.world.Value(kRun, u"KestrixTray");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, w32::kRegSz);
    EXPECT_TRUE(rig.editor.StartsWithWindows());
    EXPECT_EQ(RunCommand(*value), u"\"C:\\Program Files\\VELMOR\\Kestrix\\KestrixTray.exe\" /start");

    ASSERT_EQ(rig.editor.SetStartWithWindows(false), SettingWrite::Written);
    EXPECT_EQ(rig.sim.world.Value(kRun, u"KestrixTray"), nullptr);
    EXPECT_FALSE(rig.editor.StartsWithWindows());
    // Switching off twice is not an error.
    EXPECT_EQ(rig.editor.SetStartWithWindows(false), SettingWrite::Written);
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

TEST(SettingsEditor, TheLogonEntryUsesTheInstalledLocationAndIsRefusedWithoutOne) {
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&)> record;
        SettingWrite result;
        Text command;
    };
    const Text kCommand = u"\"D:\\Apps\\Kestrix\\KestrixTray.exe\" /start";
    const std::vector<Case> cases = {
        {"installed elsewhere",
         [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u"D:\\Apps\\Kestrix"); },
         SettingWrite::Written, kCommand},
        {"with a trailing backslash and blanks",
         [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u" D:\\Apps\\Kestrix\\ "); },
         SettingWrite::Written, kCommand},
        {"on a share",
         [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u"\\\\server\\apps\\Kestrix"); },
         SettingWrite::Written, u"\"\\\\server\\apps\\Kestrix\\KestrixTray.exe\" /start"},
        {"no uninstall record", [](sim::SimWorld&) {}, SettingWrite::Invalid, u""},
        {"an empty location", [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u""); },
         SettingWrite::Invalid, u""},
        {"a relative location", [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u"Kestrix"); },
         SettingWrite::Invalid, u""},
        {"a quote that would end the command's path",
         [](sim::SimWorld& w) { w.SetString(kUninstall, u"InstallLocation", u"C:\\a\" C:\\evil.exe \""); },
         SettingWrite::Invalid, u""},
        {"a number instead of text", [](sim::SimWorld& w) { w.SetDword(kUninstall, u"InstallLocation", 7); },
         SettingWrite::Invalid, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        // The copy of the main program that runs here is not the installed one.
        rig.sim.world.ownModuleFileName = u"C:\\Users\\guest\\Downloads\\Kestrix.exe";
        c.record(rig.sim.world);
        EXPECT_EQ(rig.editor.SetStartWithWindows(true), c.result);
        const auto* value = rig.sim.world.Value(kRun, u"KestrixTray");
        if (c.command.empty()) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(RunCommand(*value), c.command);
        }
        EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
    }
}

TEST(SettingsEditor, PriorityIsStoredAsASigned32BitDword) {
    Rig rig;
    ASSERT_EQ(rig.editor.WritePriority(-1), SettingWrite::Written);
    EXPECT_EQ(Dword(*rig.sim.world.Value(kSettings, u"ProcessorPriority")), 0xFFFFFFFFu);
    EXPECT_EQ(rig.editor.Read().processorPriority, -1);
}

// The whole settings key as stored: every value's name, type and bytes.
std::map<Text, std::pair<Text, sim::RegValue>> Stored(SimPlatform& sim) { return sim.world.Key(kSettings).values; }

bool SameValues(const std::map<Text, std::pair<Text, sim::RegValue>>& a,
                const std::map<Text, std::pair<Text, sim::RegValue>>& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [key, entry] : a) {
        const auto other = b.find(key);
        if (other == b.end() || other->second.second.type != entry.second.type ||
            other->second.second.data != entry.second.data) {
            return false;
        }
    }
    return true;
}

TEST(SettingsEditor, ExpandableTextIsTextToTheMainProgramAsToKestrixTray) {
    Rig rig;
    const std::pair<Text, Text> values[] = {
        {u"Language", u"french"}, {u"BarColor", u"clRed"}, {u"Handle", u"77"}, {u"UpdatedDate", u"1600000000"}};
    for (const auto& [name, text] : values) {
        rig.sim.world.SetString(kSettings, name, text);
        rig.sim.world.Key(kSettings).values[sim::Upper(name)].second.type = 2;  // REG_EXPAND_SZ
    }
    const SettingsSnapshot s = rig.editor.Read();
    EXPECT_EQ(s.language, rig.tray.RegReadString(u"Language", u"english"));
    EXPECT_EQ(s.language, u"french");
    EXPECT_EQ(s.barColor, rig.tray.RegReadString(u"BarColor", u""));
    EXPECT_EQ(s.barColor, u"clRed");
    EXPECT_EQ(s.handle, u"77");
    EXPECT_EQ(rig.editor.ReadUpdatedDate(), u"1600000000");
}

// Values the user did not touch stay byte for byte as stored, also those
// KestrixTray does not understand; each shows as stored.
TEST(SettingsEditor, SavingUntouchedSettingsRewritesNothing) {
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&)> store;
        std::function<void(const SettingsSnapshot&)> shown;
    };
    const std::vector<Case> cases = {
        {"unknown language", [](sim::SimWorld& w) { w.SetString(kSettings, u"Language", u"German"); },
         [](const SettingsSnapshot& s) { EXPECT_EQ(s.languageText, u"German"); }},
        {"invalid colour", [](sim::SimWorld& w) { w.SetString(kSettings, u"BarColor", u"orange"); },
         [](const SettingsSnapshot& s) { EXPECT_EQ(s.barColor, u"orange"); }},
        {"priority out of range", [](sim::SimWorld& w) { w.SetDword(kSettings, u"ProcessorPriority", 7); },
         [](const SettingsSnapshot& s) { EXPECT_EQ(s.processorPriority, 7); }},
        {"LoadKestrix without a logon entry", [](sim::SimWorld& w) { w.SetDword(kSettings, u"LoadKestrix", 1); },
         [](const SettingsSnapshot& s) { EXPECT_TRUE(s.loadKestrix); }},
        {"boolean 5", [](sim::SimWorld& w) { w.SetDword(kSettings, u"ProcessorIdeal", 5); },
         [](const SettingsSnapshot& s) { EXPECT_TRUE(s.processorIdeal); }},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.sim.world.SetDword(kSettings, u"LoadTrayIcon", 0);
        c.store(rig.sim.world);
        const auto before = Stored(rig.sim);
        const SettingsSnapshot loaded = rig.editor.Read();
        c.shown(loaded);
        const SaveReport report = rig.editor.SaveChanges(loaded, loaded);
        EXPECT_TRUE(report.written.empty() && report.invalid.empty() && report.refused.empty()) << c.name;
        EXPECT_TRUE(SameValues(before, Stored(rig.sim))) << c.name;
        EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(SettingsEditor, SavingWritesWhatTheUserChangedAndNamesWhatIsInvalid) {
    Rig rig;
    rig.sim.world.SetString(kSettings, u"Language", u"german");
    rig.sim.world.SetString(kSettings, u"BarColor", u"orange");
    const SettingsSnapshot loaded = rig.editor.Read();

    SettingsSnapshot edited = loaded;
    edited.loadTrayIcon = false;
    edited.gridColor = u"notacolour";  // entered by the user: reported, not written
    const SaveReport report = rig.editor.SaveChanges(loaded, edited);
    EXPECT_EQ(report.written, std::vector<Text>{u"LoadTrayIcon"});
    EXPECT_EQ(report.invalid, std::vector<Text>{u"GridColor"});
    EXPECT_TRUE(report.refused.empty());
    EXPECT_FALSE(rig.tray.RegReadBool(u"LoadTrayIcon", true));
    EXPECT_EQ(rig.sim.world.Value(kSettings, u"GridColor"), nullptr);
    EXPECT_EQ(rig.tray.RegReadString(u"Language", u""), u"german");
    EXPECT_EQ(rig.tray.RegReadString(u"BarColor", u""), u"orange");

    // A refused write is told apart from an invalid value.
    rig.sim.world.Key(kSettings).denyWrite = true;
    edited = loaded;
    edited.languageText = u"French";
    const SaveReport refused = rig.editor.SaveChanges(loaded, edited);
    EXPECT_EQ(refused.refused, std::vector<Text>{u"Language"});
    EXPECT_TRUE(refused.invalid.empty());
}

TEST(SettingsEditor, AValueSetByPolicyIsShownAsThePolicysAndNeverWritten) {
    Rig rig;
    const Text policies = u"HKLM\\Software\\Policies\\VELMOR\\Kestrix";
    rig.sim.world.SetDword(kSettings, u"ProcessorPriority", 2);
    rig.sim.world.SetDword(policies, u"ProcessorPriority", 0);
    rig.sim.world.SetString(policies, u"Language", u"korean");
    rig.sim.world.SetDword(policies, u"Handle", 5);  // the programs' state: no policy sets it
    const SettingsSnapshot loaded = rig.editor.Read();
    EXPECT_EQ(loaded.processorPriority, 0);
    EXPECT_EQ(loaded.language, u"korean");
    EXPECT_TRUE(rig.editor.SetByPolicy(u"ProcessorPriority"));
    EXPECT_TRUE(rig.editor.SetByPolicy(u"Language"));
    EXPECT_FALSE(rig.editor.SetByPolicy(u"ProcessorIdeal"));
    EXPECT_FALSE(rig.editor.SetByPolicy(u"Handle"));

    SettingsSnapshot edited = loaded;
    edited.processorPriority = 3;
    edited.languageText = u"french";
    edited.processorIdeal = false;
    const SaveReport report = rig.editor.SaveChanges(loaded, edited);
    EXPECT_EQ(report.written, std::vector<Text>{u"ProcessorIdeal"});
    EXPECT_EQ(Dword(*rig.sim.world.Value(kSettings, u"ProcessorPriority")), 2u);
    EXPECT_EQ(rig.sim.world.Value(kSettings, u"Language"), nullptr);
}

TEST(SettingsEditor, TheSelfCheckOpensTheKeyForWritingAndWritesNothing) {
    Rig rig;
    rig.sim.world.SetString(kSettings, u"Handle", u"123");
    const auto before = Stored(rig.sim);
    rig.sim.world.keyOpens.clear();
    EXPECT_EQ(rig.editor.ProbeWrite(), SettingWrite::Written);
    EXPECT_TRUE(SameValues(before, Stored(rig.sim)));
    ASSERT_EQ(rig.sim.world.keyOpens.size(), 1u);
    EXPECT_EQ(rig.sim.world.keyOpens[0].second, 0x20006u);
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

}  // namespace
}  // namespace kx
