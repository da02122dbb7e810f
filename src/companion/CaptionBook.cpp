#include "companion/CaptionBook.h"

#include "config/TextRules.h"

namespace kx {

std::map<std::pair<Text, Text>, Text> CaptionBook::ReadTable(ISystemInfo& system, const Text& name) {
    std::map<std::pair<Text, Text>, Text> rows;
    try {
        std::vector<std::uint8_t> bytes;
        if (!system.LoadRcDataResource(AsciiUpper(name), &bytes)) return rows;
        for (const Text& line : ReadTextLines(bytes, system)) {
            if (line.empty()) continue;
            const std::vector<Text> fields = SplitCommaText(line);
            if (fields.size() < 3) continue;
            rows[{AsciiUpper(fields[0]), AsciiUpper(fields[1])}] = fields[2];
        }
    } catch (...) {
        rows.clear();
    }
    return rows;
}

CaptionBook::CaptionBook(ISystemInfo& system, const Text& language) {
    english_ = ReadTable(system, u"ENGLISH");
    rows_ = AsciiUpper(language) == u"ENGLISH" ? english_ : ReadTable(system, language);
    hasLanguage_ = !rows_.empty();
}

Text CaptionBook::Get(const Text& form, const Text& key) const {
    const std::pair<Text, Text> id{AsciiUpper(form), AsciiUpper(key)};
    if (auto it = rows_.find(id); it != rows_.end()) return it->second;
    if (auto it = english_.find(id); it != english_.end()) return it->second;
    return key;
}

Text StripAccessKey(const Text& text) {
    Text plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                plain.push_back(u'&');
                ++i;
            }
            continue;
        }
        plain.push_back(text[i]);
    }
    // "Name(&N)" in the Korean tables: the bracketed letter goes with the mark.
    if (plain.size() >= 3 && plain.back() == u')' && plain[plain.size() - 3] == u'(') plain.resize(plain.size() - 3);
    return plain;
}

}  // namespace kx
