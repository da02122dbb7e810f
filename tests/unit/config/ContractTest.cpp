#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/Contract.h"
#include "config/TextRules.h"

namespace kx {
namespace {

std::string Narrow(const char16_t* text) {
    std::string narrow;
    for (; *text != 0; ++text) narrow.push_back(static_cast<char>(*text));
    return narrow;
}

// The installer's include as the build made it: its defines and, in order,
// the window classes its closing macro pushes.
struct Include {
    std::map<std::string, std::string> defines;
    std::vector<std::string> closed;
    std::vector<std::string> settings;  // the values the uninstaller removes
};

Include ReadInclude() {
    Include include;
    std::ifstream file(KX_CONTRACT_NSH);
    std::string line;
    bool inCloseMacro = false;
    bool inSettingsMacro = false;
    while (std::getline(file, line)) {
        const std::string define = "!define ";
        if (line.rfind(define, 0) == 0) {
            const auto space = line.find(' ', define.size());
            const auto open = line.find('"', space);
            include.defines[line.substr(define.size(), space - define.size())] =
                line.substr(open + 1, line.rfind('"') - open - 1);
        }
        if (line.rfind("!macro KX_CLOSE_WINDOWS", 0) == 0) inCloseMacro = true;
        if (line.rfind("!macro KX_FOR_EACH_SETTING", 0) == 0) inSettingsMacro = true;
        if (line == "!macroend") inCloseMacro = inSettingsMacro = false;
        const std::string insert = "  !insertmacro ${MACRO} \"";
        if (inSettingsMacro && line.rfind(insert, 0) == 0) {
            include.settings.push_back(line.substr(insert.size(), line.size() - insert.size() - 1));
        }
        const std::string push = "  Push \"";
        if (inCloseMacro && line.rfind(push, 0) == 0) {
            include.closed.push_back(line.substr(push.size(), line.size() - push.size() - 1));
        }
    }
    return include;
}

TEST(Contract, TheInstallersIncludeClosesTheSevenClassesInOrderThenTheUpdaterAndTheTray) {
    const Include include = ReadInclude();
    std::vector<std::string> expected;
    for (const char16_t* className : contract::kCompanionWindowClasses) expected.push_back(Narrow(className));
    ASSERT_EQ(expected.size(), 7u);
    expected.push_back(Narrow(contract::kUpdaterWindowClass));
    expected.push_back(Narrow(contract::kTrayWindowClass));
    EXPECT_EQ(include.closed, expected);
}

TEST(Contract, TheInstallersIncludeCarriesTheContractsValues) {
    const Include include = ReadInclude();
    // NSIS takes a backslash as it stands.
    const std::map<std::string, std::string> expected = {
        {"KX_VERSION", Narrow(contract::kProductVersion)},
        {"KX_SETTINGS_KEY", Narrow(contract::kSettingsKey)},
        {"KX_RUN_KEY", Narrow(contract::kRunKey)},
        {"KX_RUN_VALUE", Narrow(contract::kRunValueName)},
        {"KX_TRAY_WINDOW_CLASS", Narrow(contract::kTrayWindowClass)},
        {"KX_UPDATER_WINDOW_CLASS", Narrow(contract::kUpdaterWindowClass)},
    };
    for (const auto& [name, value] : expected) {
        ASSERT_EQ(include.defines.count(name), 1u) << name;
        EXPECT_EQ(include.defines.at(name), value) << name;
    }
    // Every integer or boolean default the installer may write is KestrixTray's.
    for (const SettingDefinition& setting : contract::kSettings) {
        const auto found = include.defines.find("KX_DEFAULT_" + Narrow(setting.name));
        if (setting.type == SettingType::Integer || setting.type == SettingType::Bool) {
            ASSERT_NE(found, include.defines.end()) << Narrow(setting.name);
            EXPECT_EQ(found->second, std::to_string(setting.integerDefault)) << Narrow(setting.name);
        } else if (setting.type == SettingType::String) {
            ASSERT_NE(found, include.defines.end()) << Narrow(setting.name);
            EXPECT_EQ(found->second, Narrow(setting.textDefault)) << Narrow(setting.name);
        }
    }
}

TEST(Contract, TheUninstallerRemovesEverySettingsValueOfTheContractAndNoOther) {
    std::vector<std::string> expected;
    for (const SettingDefinition& setting : contract::kSettings) expected.push_back(Narrow(setting.name));
    ASSERT_GE(expected.size(), 13u);
    EXPECT_EQ(ReadInclude().settings, expected);
}

// The groups of one caption table as stored: the first field of each row.
std::set<std::string> TableGroups(const std::string& language) {
    std::ifstream file(std::string(KX_SOURCE_DIR) + "/resources/captions/" + language + ".txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string text;  // the group names are ASCII in every encoding
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i + 1] == 0 ? bytes[i] : '?');
    } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        text = bytes.substr(3);  // UTF-8 with its mark
    } else {
        text = bytes;
    }
    std::set<std::string> groups;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t comma = line.find(',');
        if (comma != std::string::npos) groups.insert(line.substr(0, comma));
        start = end + 1;
    }
    return groups;
}

TEST(Contract, EveryCaptionTableHoldsExactlyTheContractsGroups) {
    std::set<std::string> expected;
    for (const char16_t* group : contract::kCaptionGroups) expected.insert(Narrow(group));
    ASSERT_EQ(expected.size(), 11u);  // the tray, the updater, the main program's eight, the status
    for (const LanguageDefinition& language : contract::kLanguages) {
        EXPECT_EQ(TableGroups(Narrow(language.resource)), expected) << Narrow(language.resource);
    }
}

TEST(Contract, TheVersionTextAndItsPartsAgree) {
    std::string parts;
    for (std::uint16_t part : contract::kVersionParts) parts += (parts.empty() ? "" : ".") + std::to_string(part);
    EXPECT_EQ(parts, Narrow(contract::kProductVersion));
}

TEST(Contract, ColourDefaultsDependOnTheReleaseAndOnlyColoursHaveThem) {
    struct Case {
        const char16_t* name;
        const char16_t* fromWindows7;
        const char16_t* before;
    };
    const Case cases[] = {
        {contract::kBackgroundColor, u"clWhite", u"clBlue"},
        {contract::kGridColor, u"clGray", u"clTeal"},
        {contract::kBarColor, u"$00FF8000", u"clWhite"},
        {contract::kLanguage, u"", u""},
        {u"NoSuchValue", u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(contract::ColorDefault(c.name, true)), c.fromWindows7) << Narrow(c.name);
        EXPECT_EQ(Text(contract::ColorDefault(c.name, false)), c.before) << Narrow(c.name);
    }
}

}  // namespace
}  // namespace kx
