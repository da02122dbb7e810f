#include "platform/AsciiCase.h"

namespace kx {

namespace {
void UpperInPlace(Text& text) {
    for (auto& c : text) c = FoldAsciiUpper(c);
}
}  // namespace

Text AsciiUpper(Text text) {
    UpperInPlace(text);
    return text;
}

void AsciiUpperInto(const Text& text, Text* out) {
    out->assign(text);
    UpperInPlace(*out);
}

Text AsciiLower(Text text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    }
    return text;
}

bool EqualsIgnoreAsciiCase(const Text& a, const Text& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiUpper(a[i]) != FoldAsciiUpper(b[i])) return false;
    }
    return true;
}

bool ContainsIgnoreAsciiCase(const Text& haystack, const Text& needle) {
    if (needle.empty() || needle.size() > haystack.size()) return false;
    return AsciiUpper(haystack).find(AsciiUpper(needle)) != Text::npos;
}

}  // namespace kx
