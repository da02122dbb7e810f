#include "display/ColorText.h"

#include "config/TextRules.h"

namespace kx {

namespace {
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(index)); }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::optional<TColor> ParseNumber(const Text& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == u' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) return std::nullopt;  // a lone sign, a prefix without digits, nothing at all

    if (hex) {
        std::uint32_t pattern = 0;
        int significant = 0;
        for (; i < n; ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0) return std::nullopt;
            if (significant == 0 && digit == 0) continue;  // leading zeros are free
            if (++significant > 8) return std::nullopt;
            pattern = (pattern << 4) | static_cast<std::uint32_t>(digit);
        }
        // The pattern is a signed 32-bit value; "-" negates it modulo 2^32, so
        // "-$80000000" is the pattern itself.
        if (negative) pattern = 0u - pattern;
        return static_cast<TColor>(pattern);
    }

    // Decimal: the magnitude may reach 2147483648 only with a minus sign.
    const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
    std::uint32_t magnitude = 0;
    for (; i < n; ++i) {
        if (!IsDecimalDigit(text[i])) return std::nullopt;
        const auto digit = static_cast<std::uint32_t>(text[i] - u'0');
        if (magnitude > (limit - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    return static_cast<TColor>(negative ? 0u - magnitude : magnitude);
}
}  // namespace

const std::array<ColorName, 52> ColorNameTable = {{
    {u"clBlack", 0x00000000},
    {u"clMaroon", 0x00000080},
    {u"clGreen", 0x00008000},
    {u"clOlive", 0x00008080},
    {u"clNavy", 0x00800000},
    {u"clPurple", 0x00800080},
    {u"clTeal", 0x00808000},
    {u"clGray", 0x00808080},
    {u"clSilver", 0x00C0C0C0},
    {u"clRed", 0x000000FF},
    {u"clLime", 0x0000FF00},
    {u"clYellow", 0x0000FFFF},
    {u"clBlue", 0x00FF0000},
    {u"clFuchsia", 0x00FF00FF},
    {u"clAqua", 0x00FFFF00},
    {u"clWhite", 0x00FFFFFF},
    {u"clMoneyGreen", 0x00C0DCC0},
    {u"clSkyBlue", 0x00F0CAA6},
    {u"clCream", 0x00F0FBFF},
    {u"clMedGray", 0x00A4A0A0},
    {u"clScrollBar", SystemColor(0)},
    {u"clBackground", SystemColor(1)},
    {u"clActiveCaption", SystemColor(2)},
    {u"clInactiveCaption", SystemColor(3)},
    {u"clMenu", SystemColor(4)},
    {u"clWindow", SystemColor(5)},
    {u"clWindowFrame", SystemColor(6)},
    {u"clMenuText", SystemColor(7)},
    {u"clWindowText", SystemColor(8)},
    {u"clCaptionText", SystemColor(9)},
    {u"clActiveBorder", SystemColor(10)},
    {u"clInactiveBorder", SystemColor(11)},
    {u"clAppWorkSpace", SystemColor(12)},
    {u"clHighlight", SystemColor(13)},
    {u"clHighlightText", SystemColor(14)},
    {u"clBtnFace", SystemColor(15)},
    {u"clBtnShadow", SystemColor(16)},
    {u"clGrayText", SystemColor(17)},
    {u"clBtnText", SystemColor(18)},
    {u"clInactiveCaptionText", SystemColor(19)},
    {u"clBtnHighlight", SystemColor(20)},
    {u"cl3DDkShadow", SystemColor(21)},
    {u"cl3DLight", SystemColor(22)},
    {u"clInfoText", SystemColor(23)},
    {u"clInfoBk", SystemColor(24)},
    {u"clHotLight", SystemColor(26)},
    {u"clGradientActiveCaption", SystemColor(27)},
    {u"clGradientInactiveCaption", SystemColor(28)},
    {u"clMenuHighlight", SystemColor(29)},
    {u"clMenuBar", SystemColor(30)},
    {u"clNone", kClNone},
    {u"clDefault", kClDefault},
}};

std::optional<TColor> ParseColorText(const Text& text) {
    for (const ColorName& name : ColorNameTable) {
        if (EqualsIgnoreAsciiCase(text, name.text)) return name.value;
    }
    return ParseNumber(text);
}

}  // namespace kx
