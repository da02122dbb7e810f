#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "config/TextRules.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<Text>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct LinesCase {
    const char* name;
    Bytes bytes;
    Lines expected;
};

TEST(ReadTextLines, CutsAndDecodesAsTheMarkSays) {
    const LinesCase cases[] = {
        {"empty", B(""), {}},
        {"crlf", B("a\r\nb"), {u"a", u"b"}},
        {"final break adds no line", B("a\r\nb\r\n"), {u"a", u"b"}},
        {"lf then cr is two breaks", B("a\n\rb"), {u"a", u"", u"b"}},
        {"lone cr and lf", B("a\rb\nc"), {u"a", u"b", u"c"}},
        {"empty line kept", B("a\r\n\r\nb"), {u"a", u"", u"b"}},
        {"lone break", B("\n"), {u""}},
        {"nul ends the text", B(std::string("a\0b\nc", 5)), {u"a"}},
        {"utf16le", Bytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 0x31, 0x04}, {u"a", u"\u0431"}},
        {"utf16le odd byte dropped", Bytes{0xFF, 0xFE, 'a', 0, 'b'}, {u"a"}},
        {"utf16be", Bytes{0xFE, 0xFF, 0, 'a', 0, '\n', 0x04, 0x31}, {u"a", u"\u0431"}},
        {"utf8 with mark", Bytes{0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, {u"\u00e9\U0001F600"}},
        {"utf8 without mark is ansi", Bytes{0xC3, 0xA9}, {u"\u00c3\u00a9"}},
        {"ansi euro", Bytes{0x80, 'x'}, {u"\u20acx"}},
    };
    sim::SimPlatform sim;
    for (const auto& c : cases) {
        EXPECT_EQ(ReadTextLines(c.bytes, sim.system), c.expected) << c.name;
    }
}

TEST(ReadTextLines, UsesTheSystemAnsiCodePage) {
    sim::SimPlatform sim;
    sim.world.ansiCodePage = 1251;
    EXPECT_EQ(ReadTextLines(Bytes{0xC0, 0xE0}, sim.system), Lines{u"\u0410\u0430"});
}

TEST(ReadTextLines, InvalidUtf8AfterTheMarkFails) {
    const Bytes invalid[] = {
        {0xEF, 0xBB, 0xBF, 0xC3, 0x28},        // missing continuation
        {0xEF, 0xBB, 0xBF, 0xC0, 0x80},        // overlong
        {0xEF, 0xBB, 0xBF, 0xED, 0xA0, 0x80},  // surrogate
        {0xEF, 0xBB, 0xBF, 'a', 0xE2, 0x82},   // cut short
        {0xEF, 0xBB, 0xBF, 0x80},              // stray continuation
        {0xEF, 0xBB, 0xBF, 0xF4, 0x90, 0x80, 0x80},  // above U+10FFFF
    };
    sim::SimPlatform sim;
    for (const auto& bytes : invalid) {
        EXPECT_THROW(ReadTextLines(bytes, sim.system), Failure);
    }
}

struct SplitCase {
    Text line;
    Lines expected;
};

TEST(SplitCommaText, FieldsByTheCommaTextRules) {
    const SplitCase cases[] = {
        {u"a b,c", {u"a", u"b", u"c"}},
        {u"a,,b", {u"a", u"", u"b"}},
        {u"a,", {u"a", u""}},
        {u"a, ", {u"a"}},
        {u"a ,", {u"a", u""}},
        {u",a", {u"", u"a"}},
        {u"\"x y\"z", {u"x y", u"z"}},
        {u"\"a\"\"b\"", {u"a\"b"}},
        {u"\"\"", {u""}},
        {u"x,\"\"", {u"x", u""}},
        {u"", {}},
        {u" \t ", {}},
        {u"\"unclosed, text", {u"unclosed, text"}},
        {Text(u"a\0,b", 4), {u"a"}},
        {u"  \"a\" ,\tb", {u"a", u"b"}},
        {u"-, \"Page Setup\"", {u"-", u"Page Setup"}},
        {u"-, Page Setup", {u"-", u"Page", u"Setup"}},
        {u"a\"b", {u"a\"b"}},
        {u"\"*\", \"1\", \"Print\", \"Windows print window\"", {u"*", u"1", u"Print", u"Windows print window"}},
        {u"KXTrayForm, UpdatePopup, \" x(&C)\"", {u"KXTrayForm", u"UpdatePopup", u" x(&C)"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommaText(c.line), c.expected) << sim::U8(c.line);
    }
}

TEST(SplitCommaText, StopsAfterTheFieldsAskedFor) {
    struct Case {
        Text line;
        std::size_t maxFields;
        Lines expected;
    };
    const Case cases[] = {
        {u"+,1,Notepad,desc,more,and more", 4, {u"+", u"1", u"Notepad", u"desc"}},
        {u"a,b,c,", 3, {u"a", u"b", u"c"}},  // the comma that ends the text adds no fifth field
        {u"a,b,c,", 4, {u"a", u"b", u"c", u""}},
        {u"\"x,y\" \"z\"", 1, {u"x,y"}},
        {u"a,b", 4, {u"a", u"b"}},
        {u"a", 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitCommaText(c.line, c.maxFields), c.expected) << sim::U8(c.line) << " / " << c.maxFields;
    }
}

TEST(TextHelpers, FoldOnlyAsciiLettersAndTrimControlCharacters) {
    EXPECT_EQ(AsciiUpper(u"abz\u00e9\u0431"), u"ABZ\u00e9\u0431");
    EXPECT_EQ(AsciiLower(u"ABZ\u00c9\u0411"), u"abz\u00c9\u0411");
    EXPECT_TRUE(EqualsIgnoreAsciiCase(u"French", u"fRENCH"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(u"\u00e9", u"\u00c9"));
    EXPECT_TRUE(ContainsIgnoreAsciiCase(u"Blueprint editor", u"PRINT"));
    EXPECT_FALSE(ContainsIgnoreAsciiCase(u"anything", u""));
    EXPECT_EQ(Trim(Text(u"\0\t a b \r\n", 9)), u"a b");
    EXPECT_EQ(Trim(u" \x01 "), u"");
}

}  // namespace
}  // namespace kx
