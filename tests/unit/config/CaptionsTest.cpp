#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "config/Captions.h"
#include "config/Contract.h"
#include "config/TextRules.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::T;
using sim::U8;
using test::AsciiTable;
using test::kSettingsPath;

// A form shaped like the tray form: four menu entries, a notification icon,
// a component of another kind, and a caption of its own.
struct RecordingForm {
    std::map<std::string, std::string> texts;  // target -> text set, "form" for the caption
    CaptionForm form;

    RecordingForm() {
        form.name = u"KXTrayForm";
        form.setCaption = [this](const Text& text) { texts["form"] = U8(text); };
        for (const char* name : {"OpenPopup", "UpdatePopup", "HelpPopup", "ExitPopup"}) {
            form.components.push_back(
                {T(name), ComponentKind::MenuEntry, [this, name](const Text& text) { texts[name] = U8(text); }});
        }
        form.components.push_back(
            {u"TrayIcon", ComponentKind::NotifyIcon, [this](const Text& text) { texts["TrayIcon"] = U8(text); }});
        form.components.push_back(
            {u"MainTimer", ComponentKind::Other, [this](const Text& text) { texts["MainTimer"] = U8(text); }});
    }
};

class CaptionTables : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    SettingsStore settings{sim.registry};
    Captions captions{settings, sim.system};

    void SetLanguage(const std::string& language) { sim.world.SetString(T(kSettingsPath), u"Language", T(language)); }
    std::map<std::string, std::string> Apply() {
        RecordingForm recording;
        captions.ApplyCaptions(recording.form);
        return recording.texts;
    }
    std::string Caption(const std::string& key, const std::string& start = "") {
        Text text = T(start);
        captions.GetCaption(u"KXTrayForm", T(key), text);
        return U8(text);
    }
};

struct LanguageCase {
    const char* language;  // nullptr: the value is missing
    const char* open;
    const char* update;
    const char* exit;
    const char* hint;
    const char* balloonTitle;
};

class RealTables : public CaptionTables, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(RealTables, ApplyTheTableOfTheSetLanguage) {
    const LanguageCase& c = GetParam();
    test::LoadRealTables(sim.world);
    if (c.language != nullptr) SetLanguage(c.language);

    auto texts = Apply();
    EXPECT_EQ(texts["OpenPopup"], c.open);
    EXPECT_EQ(texts["UpdatePopup"], c.update);
    EXPECT_EQ(texts["ExitPopup"], c.exit);
    EXPECT_EQ(texts["TrayIcon"], c.hint);
    EXPECT_EQ(texts.count("form"), 0u) << "no table row names the tray form's own caption";
    EXPECT_EQ(texts.count("MainTimer"), 0u);
    EXPECT_EQ(Caption("BalloonTitle"), c.balloonTitle);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, RealTables,
    ::testing::Values(
        LanguageCase{nullptr, "Open &Kestrix", "&Check for updates", "&Exit", "Kestrix", "Kestrix Update"},
        LanguageCase{"", "Open &Kestrix", "&Check for updates", "&Exit", "Kestrix", "Kestrix Update"},
        LanguageCase{"FRENCH", "Ouvrir &Kestrix", "&Vérifier les mises à jour", "&Quitter", "Kestrix",
                     "Mise à jour Kestrix"},
        LanguageCase{"french", "Ouvrir &Kestrix", "&Vérifier les mises à jour", "&Quitter", "Kestrix",
                     "Mise à jour Kestrix"},
        LanguageCase{"French", "Ouvrir &Kestrix", "&Vérifier les mises à jour", "&Quitter", "Kestrix",
                     "Mise à jour Kestrix"},
        // The blank that begins the Korean entry stays: the text is quoted.
        LanguageCase{"korean", "Kestrix 열기(&O)", " 업데이트 체크(&C)", "프로그램 종료(&X)", "Kestrix",
                     "Kestrix 업데이트"},
        // UTF-8 with its mark, whatever the ANSI code page.
        LanguageCase{"PrtBrzl", "Abrir o &Kestrix", "&Verificar por atualizações", "&Sair", "Kestrix",
                     "Atualização do Kestrix"},
        LanguageCase{"russian", "Открыть &Kestrix", "&Проверить обновления", "&Закрыть", "Kestrix",
                     "Обновление Kestrix"},
        LanguageCase{"german", "", "", "", "", ""}));

TEST_F(CaptionTables, ANameOutsideAsciiIsNotFoldedToATable) {
    test::LoadRealTables(sim.world);
    // "ENGLİSH" with a dotted capital I: only A-Z are lower-cased, so no table is found.
    SetLanguage("ENGL\xC4\xB0SH");
    EXPECT_TRUE(Apply().empty());
}

TEST_F(CaptionTables, GetCaptionFollowsTheLanguageAtTheMomentOfTheCall) {
    test::LoadRealTables(sim.world);
    EXPECT_EQ(Caption("balloontitle"), "Kestrix Update");
    SetLanguage("RUSSIAN");
    EXPECT_EQ(Caption("BalloonHint"),
              "Обновление для Kestrix доступен для скачивания.  Кликните здесь, чтобы загрузить и установить "
              "обновление программы.");
}

struct RuleCase {
    const char* what;
    std::vector<std::string> lines;
    std::map<std::string, std::string> expected;  // every text set, and nothing else
};

class CaptionRules : public CaptionTables, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(CaptionRules, ApplyCaptions) {
    const RuleCase& c = GetParam();
    sim.world.resources[u"ENGLISH"] = AsciiTable(c.lines);
    EXPECT_EQ(Apply(), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptionRules,
    ::testing::Values(
        RuleCase{"lower-case form and component names address the Exit entry",
                 {"kxtrayform, exitpopup, \"&Bye\""},
                 {{"ExitPopup", "&Bye"}}},
        RuleCase{"the form's own caption needs its name written exactly",
                 {"KXTrayForm, KXTrayForm, \"exact\"", "kxtrayform, kxtrayform, \"lower\""},
                 {{"form", "exact"}}},
        RuleCase{"other forms' groups are passed over; empty lines are skipped",
                 {"KXMainForm, ExitPopup, \"not ours\"", "", "KXTrayForm, HelpPopup, \"&Help\""},
                 {{"HelpPopup", "&Help"}}},
        RuleCase{"the later of two rows wins",
                 {"KXTrayForm, HelpPopup, \"first\"", "KXTrayForm, HelpPopup, \"second\""},
                 {{"HelpPopup", "second"}}},
        RuleCase{"rows naming no component, or one of another kind, change nothing and need no text",
                 {"KXTrayForm, BalloonTitle", "KXTrayForm, MainTimer", "KXTrayForm, MainTimer, \"x\"",
                  "KXTrayForm, ExitPopup, \"&Exit\""},
                 {{"ExitPopup", "&Exit"}}},
        RuleCase{"a line of blanks and tabs ends the reading",
                 {"KXTrayForm, OpenPopup, \"Open\"", " \t ", "KXTrayForm, ExitPopup, \"&Exit\""},
                 {{"OpenPopup", "Open"}}},
        RuleCase{"a row of the form with one field ends the reading",
                 {"KXTrayForm, OpenPopup, \"Open\"", "KXTrayForm", "KXTrayForm, ExitPopup, \"&Exit\""},
                 {{"OpenPopup", "Open"}}},
        RuleCase{"a one-field row of another form is passed over",
                 {"KXMainForm", "KXTrayForm, ExitPopup, \"&Exit\""},
                 {{"ExitPopup", "&Exit"}}},
        RuleCase{"a row whose component exists but has no text ends the reading",
                 {"KXTrayForm, OpenPopup, \"Open\"", "KXTrayForm, ExitPopup", "KXTrayForm, HelpPopup, \"&Help\""},
                 {{"OpenPopup", "Open"}}},
        RuleCase{"the form's caption row without text ends the reading",
                 {"KXTrayForm, KXTrayForm", "KXTrayForm, HelpPopup, \"&Help\""},
                 {}},
        RuleCase{"quoted texts keep commas, blanks and doubled quotes",
                 {"KXTrayForm,TrayIcon,\"  Kestrix, \"\"fast\"\"\""},
                 {{"TrayIcon", "  Kestrix, \"fast\""}}}));

struct LookupCase {
    const char* what;
    std::vector<std::string> lines;
    const char* key;
    const char* expected;  // starting from "before"
};

class CaptionLookup : public CaptionTables, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(CaptionLookup, GetCaption) {
    const LookupCase& c = GetParam();
    sim.world.resources[u"ENGLISH"] = AsciiTable(c.lines);
    EXPECT_EQ(Caption(c.key, "before"), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptionLookup,
    ::testing::Values(
        LookupCase{"both names ignore case", {"kxtrayform, BALLOONTITLE, \"T\""}, "BalloonTitle", "T"},
        LookupCase{"no match keeps the text", {"KXMainForm, BalloonTitle, \"T\""}, "BalloonTitle", "before"},
        LookupCase{"the last matching row wins",
                   {"KXTrayForm, BalloonHint, \"one\"", "KXTrayForm, Other, \"x\"", "KXTrayForm, BalloonHint, \"two\""},
                   "BalloonHint",
                   "two"},
        LookupCase{"a row with the form's name alone ends the scan",
                   {"KXTrayForm, BalloonHint, \"one\"", "KXTrayForm", "KXTrayForm, BalloonHint, \"two\""},
                   "BalloonHint",
                   "one"},
        LookupCase{"a matching row without text ends the scan",
                   {"KXTrayForm, BalloonHint", "KXTrayForm, BalloonHint, \"two\""},
                   "BalloonHint",
                   "before"},
        LookupCase{"another key without text is passed over",
                   {"KXTrayForm, TrayIcon", "KXTrayForm, BalloonHint, \"two\""},
                   "BalloonHint",
                   "two"},
        LookupCase{"an empty table changes nothing", {}, "BalloonHint", "before"}));

TEST_F(CaptionTables, AnUndecodableTableChangesNothingAndRaisesNothing) {
    // A UTF-8 mark followed by a broken sequence: the text cannot be read at all.
    sim.world.resources[u"ENGLISH"] = {0xEF, 0xBB, 0xBF, 'K', 'X', 0xC3, 0x28};
    EXPECT_TRUE(Apply().empty());
    EXPECT_EQ(Caption("BalloonTitle", "before"), "before");
}

// The table files are kept byte for byte: encoding, mark, CR LF breaks, no
// break after the last line, and the tray form's group as its own last group.
// How a table is stored: single-byte without a mark (ASCII only), UTF-16 LE
// or UTF-8, each with its mark.
enum class Stored { Ansi, Utf16, Utf8 };

struct TableFileCase {
    const char* name;
    Stored stored;
    std::vector<std::string> trayTexts;  // OpenPopup .. BalloonHint, in table order
};

class TableFiles : public ::testing::TestWithParam<TableFileCase> {};

std::vector<std::uint8_t> Encode(const std::string& utf8, Stored stored) {
    if (stored == Stored::Utf8) return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
    std::vector<std::uint8_t> bytes;
    for (char16_t c : T(utf8)) {
        if (stored == Stored::Utf16) {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        } else {
            // Without a mark only ASCII reads the same in every ANSI code page.
            EXPECT_LT(c, 0x80) << "not an ASCII letter: " << int(c);
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return bytes;
}

TEST_P(TableFiles, HoldTheirBytesExactly) {
    const TableFileCase& c = GetParam();
    const std::vector<std::uint8_t> file = test::TableFileBytes(c.name);
    ASSERT_FALSE(file.empty());

    const char* keys[] = {"OpenPopup", "AccelAppPopup", "UpdatePopup", "HelpPopup", "ExitPopup",
                          "TrayIcon", "OpenAppLabel", "BalloonTitle", "BalloonHint"};
    ASSERT_EQ(c.trayTexts.size(), 9u);
    std::string group = "\r\n\r\n";  // one empty line before the group
    for (std::size_t i = 0; i < 9; ++i) {
        group += std::string("KXTrayForm, ") + keys[i] + ", \"" + c.trayTexts[i] + "\"";
        if (i != 8) group += "\r\n";
    }
    const bool utf16 = c.stored == Stored::Utf16;
    const std::vector<std::uint8_t> expectedEnd = Encode(group, c.stored);
    ASSERT_GE(file.size(), expectedEnd.size());
    EXPECT_TRUE(std::equal(expectedEnd.begin(), expectedEnd.end(), file.end() - expectedEnd.size()))
        << c.name << ": the tray form's group differs, or a break follows the last line";

    if (c.stored == Stored::Utf8) {
        ASSERT_GE(file.size(), 3u);
        EXPECT_TRUE(file[0] == 0xEF && file[1] == 0xBB && file[2] == 0xBF);
    } else if (utf16) {
        ASSERT_EQ(file.size() % 2, 0u);
        EXPECT_EQ(file[0], 0xFF);
        EXPECT_EQ(file[1], 0xFE);
    } else {
        EXPECT_FALSE(file.size() >= 3 && file[0] == 0xEF && file[1] == 0xBB && file[2] == 0xBF);
        EXPECT_FALSE(file[0] == 0xFF || file[0] == 0xFE) << "no byte-order mark of any kind";
    }
    // Every break is CR LF: no lone CR, no lone LF.
    const std::size_t unit = utf16 ? 2 : 1;
    std::vector<char16_t> units;
    for (std::size_t i = utf16 ? 2 : 0; i < file.size(); i += unit) {
        units.push_back(static_cast<char16_t>(utf16 ? (file[i] | (file[i + 1] << 8)) : file[i]));
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] == u'\r') {
            ASSERT_TRUE(i + 1 < units.size() && units[i + 1] == u'\n') << c.name << " unit " << i;
        }
        if (units[i] == u'\n') {
            ASSERT_TRUE(i > 0 && units[i - 1] == u'\r') << c.name << " unit " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Resources, TableFiles,
    ::testing::Values(
        TableFileCase{"ENGLISH", Stored::Ansi,
                      {"Open &Kestrix", "&Accelerate application", "&Check for updates", "&Help", "&Exit", "Kestrix",
                       "Click to open Kestrix...", "Kestrix Update",
                       "An update for Kestrix is available to download.  Click here to download and install the "
                       "software update."}},
        TableFileCase{"FRENCH", Stored::Utf16,
                      {"Ouvrir &Kestrix", "A&ccelérer l'application", "&Vérifier les mises à jour", "&Aide",
                       "&Quitter", "Kestrix", "Cliquez pour ouvrir Kestrix...", "Mise à jour Kestrix",
                       "Une mise à jour pour Kestrix est téléchargeable.  Cliquez ici pour télécharger et installer "
                       "la mise à jour du logiciel."}},
        TableFileCase{"KOREAN", Stored::Utf16,
                      {"Kestrix 열기(&O)", "프로그램 가속화(&P)", " 업데이트 체크(&C)", "도움말(&H)",
                       "프로그램 종료(&X)", "Kestrix", "Kestrix 실행...", "Kestrix 업데이트",
                       "Kestrix 업데이트가 가능합니다. 다운로드하고 설치하시려면 여기를 클릭하세요."}},
        TableFileCase{"PRTBRZL", Stored::Utf8,
                      {"Abrir o &Kestrix", "&Acelerar aplicativo", "&Verificar por atualizações", "&Ajuda", "&Sair",
                       "Kestrix", "Clique para abrir o Kestrix...", "Atualização do Kestrix",
                       "Uma atualização para o Kestrix está disponível para download. Clique aqui para baixar e "
                       "instalar a atualização do software."}},
        TableFileCase{"RUSSIAN", Stored::Utf16,
                      {"Открыть &Kestrix", "&Ускорение приложений", "&Проверить обновления", "&Помощь", "&Закрыть",
                       "Kestrix", "Нажмите, чтобы открыть Kestrix...", "Обновление Kestrix",
                       "Обновление для Kestrix доступен для скачивания.  Кликните здесь, чтобы загрузить и "
                       "установить обновление программы."}}),
    [](const ::testing::TestParamInfo<TableFileCase>& param) { return std::string(param.param.name); });

// Every table reads the same whatever the system's ANSI code page: Western
// (1252), UTF-8 (Windows' "Use Unicode UTF-8" option, 65001) or Korean (949).
TEST(CaptionTableBytes, EachTableDecodesTheSameUnderEveryCodePage) {
    for (const LanguageDefinition& language : contract::kLanguages) {
        const std::string name = U8(language.resource);
        const std::vector<std::uint8_t> bytes = test::TableFileBytes(name);
        ASSERT_FALSE(bytes.empty()) << name;
        std::vector<Text> decoded;
        for (std::uint32_t codePage : {1252u, 65001u, 949u}) {
            sim::SimPlatform sim;
            sim.world.ansiCodePage = codePage;
            decoded.push_back(DecodeStoredText(bytes, sim.system));
            EXPECT_EQ(decoded.back().find(char16_t{0xFFFD}), Text::npos) << name << " in code page " << codePage;
        }
        EXPECT_EQ(decoded[0], decoded[1]) << name << ": 1252 and 65001 differ";
        EXPECT_EQ(decoded[0], decoded[2]) << name << ": 1252 and 949 differ";
    }
}

TEST(CaptionTableBytes, TheBrazilianNoticeReadsAlikeOnAKoreanAndAUtf8System) {
    for (std::uint32_t codePage : {65001u, 949u}) {
        sim::SimPlatform sim;
        sim.world.ansiCodePage = codePage;
        test::LoadRealTables(sim.world);
        sim.world.SetString(T(kSettingsPath), u"Language", u"prtbrzl");
        SettingsStore settings{sim.registry};
        Captions captions{settings, sim.system};
        Text title;
        captions.GetCaption(u"KXTrayForm", u"BalloonTitle", title);
        EXPECT_EQ(U8(title), "Atualização do Kestrix") << "code page " << codePage;
    }
}

}  // namespace
}  // namespace kx
