#include <gtest/gtest.h>

#include <set>

#include "config/TextRules.h"
#include "display/ColorText.h"
#include "sim/SimWorld.h"

namespace kx {
namespace {

using sim::T;
using sim::U8;

struct ColorCase {
    const char* text;
    bool converts;
    std::uint32_t pattern;  // the value's 32 bits, when it converts
};

TEST(ParseColorText, AcceptsNamesAndNumbersByTheirRules) {
    const ColorCase cases[] = {
        // Names: any case of the letters, nothing around them.
        {"clBlue", true, 0x00FF0000},
        {"clblue", true, 0x00FF0000},
        {"CLBLUE", true, 0x00FF0000},
        {" clBlue", false, 0},
        {"clBlue ", false, 0},
        {"clWindow", true, 0xFF000005},
        {"clHotLight", true, 0xFF00001A},
        {"clNone", true, 0x1FFFFFFF},
        {"cldefault", true, 0x20000000},
        {"clOrange", false, 0},
        // One colour, five ways.
        {"$FF8000", true, 0x00FF8000},
        {"0xFF8000", true, 0x00FF8000},
        {"xFF8000", true, 0x00FF8000},
        {"16744448", true, 0x00FF8000},
        {"$00FF8000", true, 0x00FF8000},
        // Hexadecimal: prefixes, digit case, eight significant digits, a signed pattern.
        {"0XfF", true, 0xFF},
        {"X10", true, 0x10},
        {"$FFFFFFFF", true, 0xFFFFFFFF},
        {"$0000000001", true, 1},
        {"$100000000", false, 0},
        {"-$10", true, 0xFFFFFFF0},
        {"-$80000000", true, 0x80000000},
        {"+$7F", true, 0x7F},
        {"$", false, 0},
        {"0x", false, 0},
        {"-x", false, 0},
        {"$G0", false, 0},
        {"$-5", false, 0},
        {"0x-5", false, 0},
        // Decimal: the signed 32-bit range, "0" first is still decimal.
        {"-16777211", true, 0xFF000005},
        {"2147483647", true, 0x7FFFFFFF},
        {"2147483648", false, 0},
        {"-2147483648", true, 0x80000000},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"010", true, 10},
        {"0", true, 0},
        {"-0", true, 0},
        {"+42", true, 42},
        // Leading spaces only, and only the space character.
        {"   42", true, 42},
        {"   -$10", true, 0xFFFFFFF0},
        {"42 ", false, 0},
        {"4 2", false, 0},
        {"- 5", false, 0},
        {"\t5", false, 0},
        {"--5", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"+", false, 0},
        {"orange", false, 0},
    };
    for (const ColorCase& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        const std::optional<TColor> value = ParseColorText(T(c.text));
        ASSERT_EQ(value.has_value(), c.converts);
        if (c.converts) {
            EXPECT_EQ(static_cast<std::uint32_t>(*value), c.pattern);
        }
    }
}

TEST(ParseColorText, RejectsDigitsOutsideAscii) {
    EXPECT_FALSE(ParseColorText(u"\uFF11\uFF12"));  // fullwidth 1 2
    EXPECT_FALSE(ParseColorText(u"\u00A042"));      // no-break space before the digits
    EXPECT_FALSE(ParseColorText(Text(u"4\0" u"2", 3)));
}

TEST(ColorNameTable, HoldsFiftyTwoDistinctNamesThatConvertInAnyCase) {
    std::set<Text> seen;
    for (const ColorName& name : ColorNameTable) {
        const Text text = name.text;
        SCOPED_TRACE(U8(text));
        EXPECT_TRUE(seen.insert(AsciiUpper(text)).second);
        EXPECT_EQ(ParseColorText(AsciiUpper(text)), name.value);
        EXPECT_EQ(ParseColorText(AsciiLower(text)), name.value);
    }
    EXPECT_EQ(seen.size(), 52u);
}

}  // namespace
}  // namespace kx
