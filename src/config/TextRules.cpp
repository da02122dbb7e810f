#include "config/TextRules.h"

#include <algorithm>

#include "config/InputLimits.h"
#include "platform/Failure.h"

namespace kx {

namespace {

bool IsBlank(char16_t c) { return c >= 1 && c <= 32; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// stray or missing continuation bytes.
Text DecodeUtf8(const std::uint8_t* p, std::size_t n) {
    Text out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        std::uint32_t cp = 0;
        std::size_t len = 0;
        std::uint32_t min = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1Fu;
            len = 2;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0Fu;
            len = 3;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07u;
            len = 4;
            min = 0x10000;
        } else {
            throw Failure("invalid UTF-8");
        }
        if (n - i < len) throw Failure("invalid UTF-8");
        for (std::size_t k = 1; k < len; ++k) {
            const std::uint8_t c = p[i + k];
            if ((c & 0xC0u) != 0x80u) throw Failure("invalid UTF-8");
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) throw Failure("invalid UTF-8");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800u + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00u + (cp & 0x3FFu)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

Text DecodeUtf16(const std::uint8_t* p, std::size_t n, bool bigEndian) {
    Text out;
    out.reserve(n / 2u);
    for (std::size_t i = 0; i + 1u < n; i += 2u) {
        const unsigned lo = bigEndian ? p[i + 1u] : p[i];
        const unsigned hi = bigEndian ? p[i] : p[i + 1u];
        out.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return out;
}

}  // namespace

Text DecodeStoredText(const std::vector<std::uint8_t>& bytes, ISystemInfo& system) {
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    Text text;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        text = DecodeUtf8(p + 3, n - 3);
    } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        text = DecodeUtf16(p + 2, n - 2, false);
    } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        text = DecodeUtf16(p + 2, n - 2, true);
    } else if (n != 0) {
        text = system.MultiByteToWideChar(system.GetACP(), p, n);
    }
    // A NUL character ends the text.
    const auto nul = text.find(char16_t{0});
    if (nul != Text::npos) text.resize(nul);
    return text;
}

bool VisitTextLines(std::u16string_view text, const std::function<bool(std::u16string_view line)>& visit) {
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (!visit(text.substr(start, i - start))) return false;
            i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) return visit(text.substr(start));
    return true;
}

std::vector<Text> ReadTextLines(const std::vector<std::uint8_t>& bytes, ISystemInfo& system) {
    std::vector<Text> lines;
    VisitTextLines(DecodeStoredText(bytes, system), [&lines](std::u16string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

std::vector<Text> SplitCommaText(std::u16string_view input, std::size_t maxFields) {
    // The text ends at its end or at a NUL character.
    const std::size_t n = std::min(input.size(), input.find(char16_t{0}));
    std::vector<Text> fields;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < n && IsBlank(input[pos])) ++pos;
    };
    skipBlanks();
    while (pos < n && fields.size() < maxFields) {
        Text value;
        if (input[pos] == u'"') {
            ++pos;
            while (pos < n) {
                if (input[pos] == u'"') {
                    if (pos + 1 < n && input[pos + 1] == u'"') {
                        value.push_back(u'"');
                        pos += 2;
                        continue;
                    }
                    ++pos;  // the closing quote
                    break;
                }
                value.push_back(input[pos++]);
            }
        } else {
            const std::size_t start = pos;
            while (pos < n && input[pos] != u',' && input[pos] > 32) ++pos;
            value = Text(input.substr(start, pos - start));
        }
        fields.push_back(std::move(value));
        skipBlanks();
        if (pos < n && input[pos] == u',') {
            // A comma that ends the text yields a last, empty field.
            if (pos + 1 == n && fields.size() < maxFields) fields.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return fields;
}

Text Trim(const Text& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] <= 32) ++begin;
    while (end > begin && text[end - 1] <= 32) --end;
    return text.substr(begin, end - begin);
}

std::vector<std::uint8_t> Utf16LeBytes(const Text& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2u);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFFu));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

Text Utf16LeText(const std::uint8_t* bytes, std::size_t count) {
    Text text = DecodeUtf16(bytes, count, false);
    const auto nul = text.find(char16_t{0});
    if (nul != Text::npos) text.resize(nul);
    return text;
}

Text AsciiToText(const char* ascii) {
    Text out;
    for (; ascii != nullptr && *ascii != 0; ++ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii)));
    return out;
}

bool IsBlankLine(std::u16string_view line) {
    return std::all_of(line.begin(), line.end(), [](char16_t c) { return c <= 32; });
}

bool VisitBlockListRows(std::u16string_view text, const std::function<void(std::u16string_view line)>& row) {
    std::size_t rows = 0;
    return VisitTextLines(text, [&](std::u16string_view line) {
        if (line.size() > kMaxBlockListLineChars) return false;
        if (IsBlankLine(line)) return true;
        if (++rows > kMaxBlockListRows) return false;
        if (row) row(line);
        return true;
    });
}

}  // namespace kx
