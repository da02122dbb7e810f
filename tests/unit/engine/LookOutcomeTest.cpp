#include <gtest/gtest.h>

#include <set>
#include <string>

#include "AppTestSupport.h"
#include "engine/LookOutcome.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::SimPlatform;
using sim::U8;

const Text kStatusPath = u"HKCU\\Software\\VELMOR\\Kestrix\\Status";
const Text kImage = u"C:\\Games\\Fast\\game.exe";

Text Sz(const sim::RegValue* value) {
    if (value != nullptr && value->type != w32::kRegSz) return u"(missing)";
    return test::StoredText(value);
}

std::uint32_t Dword(const sim::RegValue* value) {
    if (value == nullptr || value->type != w32::kRegDword || value->data.size() != 4) return 0xDEADu;
    return value->data[0] | (value->data[1] << 8) | (value->data[2] << 16) | (static_cast<std::uint32_t>(value->data[3]) << 24);
}

RaiseResult Raise(std::uint32_t asked, std::uint32_t given) {
    RaiseResult raise;
    raise.processId = 100;
    raise.asked = asked;
    raise.given = given;
    raise.opened = true;
    raise.set = true;
    return raise;
}

RaiseResult NotOpened(std::uint32_t error) {
    RaiseResult raise;
    raise.processId = 100;
    raise.asked = w32::kHighPriorityClass;
    raise.openError = error;
    return raise;
}

struct OutcomeCase {
    const char* name;
    LookOutcome outcome;
    // The Status values.
    Text word;
    std::uint32_t given;
    std::uint32_t asked;
    Text cores;
    Text reason;
    // The tooltip's second line in English.
    Text english;
};

std::vector<OutcomeCase> Cases() {
    return {
        {"raised as asked", RaisedOutcome(kImage, Raise(0x80, 0x80), PlacementKind::None), u"raised", 0x80, 0x80, u"",
         u"", u"game.exe raised to high"},
        {"raised and placed", RaisedOutcome(kImage, Raise(0x80, 0x80), PlacementKind::Performance), u"raised", 0x80,
         0x80, u"performance cores", u"", u"game.exe raised to high, on the performance cores"},
        {"realtime asked, high given", RaisedOutcome(kImage, Raise(0x100, 0x80), PlacementKind::LargeCache), u"raised",
         0x80, 0x100, u"large-cache cores", u"Windows gave a class other than the one asked",
         u"game.exe given high (realtime asked), on the large-cache cores"},
        {"blocked by a built-in row", BlockedOutcome(kImage, BlockRow{u"*", u"0", u"#32770", u"dialogs"}), u"blocked",
         0, 0, u"", u"built-in row: #32770", u"game.exe not raised: blocked by the built-in row \"#32770\""},
        {"blocked by a user row", BlockedOutcome(kImage, BlockRow{u"+", u"1", u"Notepad", u"mine"}), u"blocked", 0, 0,
         u"", u"user row: Notepad", u"game.exe not raised: blocked by your row \"Notepad\""},
        {"refused: runs as administrator", RaisedOutcome(kImage, NotOpened(5), PlacementKind::None), u"refused", 0,
         0x80, u"", u"access denied: it runs as administrator or is protected",
         u"game.exe not raised: it runs as administrator or is protected"},
        {"refused: it has ended", RaisedOutcome(kImage, NotOpened(87), PlacementKind::None), u"refused", 0, 0x80, u"",
         u"the process has ended", u"game.exe not raised: it has ended"},
        {"own window", OwnOutcome(u"C:\\Program Files\\VELMOR\\Kestrix\\KestrixTray.exe"), u"own", 0, 0, u"",
         u"KestrixTray's own window", u"Kestrix's own window"},
    };
}

TEST(LookOutcome, EachOutcomeWritesItsStatusValuesIntoAVolatileKey) {
    for (const OutcomeCase& c : Cases()) {
        SimPlatform sim;
        StatusRecord record(sim.registry, &sim.trace);
        ASSERT_TRUE(record.Record(c.outcome)) << c.name;
        const auto value = [&](const char16_t* name) { return sim.world.Value(kStatusPath, name); };
        EXPECT_TRUE(sim.world.Key(kStatusPath).isVolatile) << c.name;
        EXPECT_EQ(Sz(value(u"Outcome")), c.word) << c.name;
        EXPECT_EQ(Sz(value(u"Program")), c.outcome.kind == OutcomeKind::Own ? u"KestrixTray.exe" : u"game.exe") << c.name;
        EXPECT_EQ(Dword(value(u"Class")), c.given) << c.name;
        EXPECT_EQ(Dword(value(u"Asked")), c.asked) << c.name;
        EXPECT_EQ(Sz(value(u"Cores")), c.cores) << c.name;
        EXPECT_EQ(Sz(value(u"Reason")), c.reason) << c.name;
        // The main program reads back the outcome the tray wrote.
        EXPECT_TRUE(ReadStatusRecord(sim.registry) == c.outcome) << c.name;
        EXPECT_EQ(sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(LookOutcome, TheStatusIsWrittenOnlyWhenItChanges) {
    SimPlatform sim;
    StatusRecord record(sim.registry, &sim.trace);
    const LookOutcome a = RaisedOutcome(kImage, Raise(0x80, 0x80), PlacementKind::None);
    const LookOutcome b = BlockedOutcome(kImage, BlockRow{u"+", u"1", u"Notepad", u""});
    EXPECT_TRUE(record.Record(a));
    const std::size_t opens = sim.world.keyOpens.size();
    EXPECT_FALSE(record.Record(a));
    EXPECT_EQ(sim.world.keyOpens.size(), opens) << "an unchanged outcome opens no key";
    EXPECT_TRUE(record.Record(b));
    EXPECT_TRUE(record.Record(a));
    EXPECT_EQ(record.Writes(), 3u);

    // A key that refuses the write leaves a line, and the outcome is written once it can be.
    SimPlatform denied;
    denied.world.Key(u"HKCU\\Software\\VELMOR\\Kestrix").denyWrite = true;
    StatusRecord refused(denied.registry, &denied.trace);
    EXPECT_FALSE(refused.Record(a));
    ASSERT_EQ(denied.world.debugLines.size(), 1u);
    EXPECT_EQ(denied.world.debugLines[0], u"KestrixTray: status: the Status key cannot be created\n");
    denied.world.Key(u"HKCU\\Software\\VELMOR\\Kestrix").denyWrite = false;
    EXPECT_TRUE(refused.Record(a));
}

TEST(LookOutcome, TheTooltipLineIsInEveryLanguage) {
    const char* languages[] = {"english", "french", "korean", "prtbrzl", "russian"};
    for (const char* language : languages) {
        SimPlatform sim;
        test::LoadRealTables(sim.world);
        sim.world.SetString(sim::T(test::kSettingsPath), u"Language", sim::T(language));
        SettingsStore settings(sim.registry);
        Captions captions(settings, sim.system);
        std::set<Text> lines;
        for (const OutcomeCase& c : Cases()) {
            const Text line = StatusLine(c.outcome, captions);
            const std::string where = std::string(language) + ": " + c.name + ": " + U8(line);
            if (std::string(language) == "english") {
                EXPECT_EQ(line, c.english) << where;
            }
            EXPECT_EQ(line.find(u'%'), Text::npos) << where;
            if (c.outcome.kind != OutcomeKind::Own) {
                EXPECT_NE(line.find(u"game.exe"), Text::npos) << where;
            }
            if (c.outcome.kind == OutcomeKind::Blocked) {
                EXPECT_NE(line.find(c.outcome.pattern), Text::npos) << where;
            }
            lines.insert(line);
        }
        EXPECT_EQ(lines.size(), Cases().size()) << language << ": every outcome reads differently";
        if (std::string(language) != "english") {
            // Not the English fallback: the table's own words.
            EXPECT_EQ(lines.count(u"game.exe raised to high"), 0u) << language;
        }
    }
}

TEST(LookOutcome, TheTooltipKeepsTheHintAndCutsTheLineAtACharacterBoundary) {
    struct Case {
        const char* name;
        Text line;
        Text expected;
    };
    const Text face = u"\U0001F600";  // one character, two UTF-16 units
    const Text a119(119, u'a');
    const Case cases[] = {
        {"no line: the hint alone", u"", u"Kestrix"},
        {"a short line", u"game.exe raised to high", u"Kestrix\ngame.exe raised to high"},
        {"exactly 127", Text(119, u'b'), u"Kestrix\n" + Text(119, u'b')},
        {"one over: cut to 127", Text(120, u'b'), u"Kestrix\n" + Text(119, u'b')},
        {"a pair across the end: cut before it", a119 + face, u"Kestrix\n" + a119},
        {"a pair that fits: kept", Text(117, u'a') + face, u"Kestrix\n" + Text(117, u'a') + face},
    };
    for (const Case& c : cases) {
        const Text tip = HintWithStatus(u"Kestrix", c.line);
        EXPECT_EQ(tip, c.expected) << c.name;
        EXPECT_LE(tip.size(), kTooltipCharacters) << c.name;
    }
}

}  // namespace
}  // namespace kx
