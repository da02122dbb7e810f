#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "companion/CaptionBook.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

std::vector<std::uint8_t> TableFile(const std::string& name) {
    std::ifstream in(std::string(KX_SOURCE_DIR) + "/resources/captions/" + name + ".txt", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Rig {
    Rig() {
        for (const char* name : {"ENGLISH", "FRENCH", "KOREAN", "PRTBRZL", "RUSSIAN"}) {
            sim.world.resources[sim::T(name)] = TableFile(name);
        }
    }
    sim::SimPlatform sim;
};

TEST(CaptionBook, EveryLanguageCarriesEveryRowOfTheMainProgram) {
    Rig rig;
    const auto english = CaptionBook::ReadTable(rig.sim.system, u"english");
    ASSERT_GT(english.size(), 90u);
    for (const char* name : {"FRENCH", "KOREAN", "PRTBRZL", "RUSSIAN"}) {
        const auto table = CaptionBook::ReadTable(rig.sim.system, sim::T(name));
        for (const auto& [id, text] : english) {
            auto it = table.find(id);
            ASSERT_NE(it, table.end()) << name << " lacks " << sim::U8(id.first) << ", " << sim::U8(id.second);
            EXPECT_FALSE(it->second.empty()) << name << " " << sim::U8(id.second);
        }
    }
}

TEST(CaptionBook, FollowsTheLanguageAndFallsBackToEnglish) {
    Rig rig;
    EXPECT_EQ(CaptionBook(rig.sim.system, u"Russian").Get(u"KXSettingsForm", u"SaveButton"), u"&Сохранить");
    EXPECT_EQ(CaptionBook(rig.sim.system, u"english").Get(u"kxsettingsform", u"savebutton"), u"&Save");

    // A language without a table, and a row the language lacks, read English.
    rig.sim.world.resources[u"GERMAN"] = {};
    const CaptionBook german(rig.sim.system, u"german");
    EXPECT_FALSE(german.HasLanguage());
    EXPECT_EQ(german.Get(u"KXMainForm", u"CloseButton"), u"&Close");
    rig.sim.world.resources[u"FRENCH"] = {'X', ',', ' ', 'Y', ',', ' ', '"', 'z', '"'};
    EXPECT_EQ(CaptionBook(rig.sim.system, u"french").Get(u"KXMainForm", u"CloseButton"), u"&Close");
    EXPECT_EQ(CaptionBook(rig.sim.system, u"french").Get(u"Nowhere", u"Key"), u"Key");
}

TEST(CaptionBook, AccessKeyMarksAreStrippedForPlainText) {
    const std::vector<std::pair<Text, Text>> cases = {
        {u"&Save", u"Save"}, {u"Drag && drop", u"Drag & drop"}, {u"저장(&S)", u"저장"}, {u"Plain", u"Plain"}};
    for (const auto& [marked, plain] : cases) EXPECT_EQ(StripAccessKey(marked), plain);
}

}  // namespace
}  // namespace kx
