#include <gtest/gtest.h>

#include <random>

#include "engine/PatternSet.h"
#include "platform/AsciiCase.h"
#include "sim/SimWorld.h"

namespace kx {
namespace {

bool Found(const std::vector<Text>& patterns, const Text& subject) {
    std::vector<const Text*> pointers;
    for (const Text& pattern : patterns) pointers.push_back(&pattern);
    PatternSet set;
    set.Build(pointers);
    return set.FoundIn(subject);
}

TEST(PatternSet, FindsWhatASearchRowByRowFinds) {
    struct Case {
        const char* name;
        std::vector<Text> patterns;
        Text subject;
        bool found;
    };
    const Text as(254, u'a');
    const std::vector<Case> cases = {
        {"pattern equal to the subject, other case", {u"Print"}, u"pRINT", true},
        {"pattern one longer than the subject", {u"Prints"}, u"Print", false},
        {"empty subject", {u"a", u"Print"}, u"", false},
        {"only empty patterns", {u"", u""}, u"anything", false},
        {"no patterns", {}, u"anything", false},
        {"overlapping patterns", {u"he", u"she", u"his", u"hers"}, u"USHERS", true},
        {"a pattern inside a longer one that fails", {u"abcd", u"bc"}, u"xabcx", true},
        {"found only through a failure link", {u"xab", u"ac"}, u"XAC", true},
        {"a shorter pattern ends where a longer one is cut", {u"aab", u"ab"}, u"aaab", true},
        {"a suffix of a prefix is no match", {u"abcd", u"bcf"}, u"abce", false},
        {"at the very end", {u"explorer.exe"}, u"C:\\Windows\\explorer.exe", true},
        {"é and É differ", {u"é"}, u"É", false},
        {"Ä and ä differ", {u"Ä"}, u"ä", false},
        {"ASCII folded beside non-ASCII", {u"café"}, u"CAFé", true},
        {"ß is not SS", {u"straße"}, u"STRASSE", false},
        {"the letters after Z and before a are not folded", {u"[\\]^_`"}, u"{|}~\x7f", false},
        {"the same pattern in two cases", {u"abc", u"ABC"}, u"xAbCx", true},
        {"a surrogate pair", {Text(u"\xD83D\xDE00")}, Text(u"x\xD83D\xDE00y"), true},
        {"half a surrogate pair matches as a code unit", {Text(u"\xDE00")}, Text(u"\xD83D\xDE00"), true},
        {"a…ab against a…a", {Text(56, u'a') + u"b"}, as, false},
        {"a…ab at the end of a…a", {Text(56, u'a') + u"b"}, as + u"B", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Found(c.patterns, c.subject), c.found) << c.name;
}

TEST(PatternSet, AgreesWithTheFoldedSearchOnRandomPatternsAndTexts) {
    // A small alphabet, with both cases and a non-ASCII pair, so patterns
    // overlap and share prefixes and suffixes all the time.
    const Text alphabet = u"aAbBcé\u00C9";
    std::mt19937 random(16);
    const auto randomText = [&](std::size_t maxLength) {
        Text text(random() % (maxLength + 1), u' ');
        for (char16_t& c : text) c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<Text> patterns(random() % 6);
        for (Text& pattern : patterns) pattern = randomText(5);
        const Text subject = randomText(14);
        bool expected = false;
        for (const Text& pattern : patterns) expected = expected || ContainsIgnoreAsciiCase(subject, pattern);
        ASSERT_EQ(Found(patterns, subject), expected) << "round " << round << ": " << sim::U8(subject);
    }
}

TEST(PatternSet, ALongListOfNearMatchesBuildsOneStatePerDistinctPrefix) {
    // 65,536 rows of "a" 56 times and "b": one chain of 58 states.
    const Text row = Text(56, u'a') + u"b";
    std::vector<const Text*> rows(65536, &row);
    PatternSet set;
    set.Build(rows);
    EXPECT_EQ(set.States(), 58u);
    EXPECT_FALSE(set.FoundIn(Text(32767, u'a')));
    EXPECT_TRUE(set.FoundIn(Text(32766, u'A') + u"b"));
    set.Clear();
    EXPECT_TRUE(set.Empty());
    EXPECT_FALSE(set.FoundIn(row));
}

}  // namespace
}  // namespace kx
