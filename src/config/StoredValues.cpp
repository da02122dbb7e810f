#include "config/StoredValues.h"

#include <limits>

#include "platform/Failure.h"
#include "config/TextRules.h"

namespace kx {

bool TryParseHandleText(const Text& text, std::int64_t* number) {
    const Text trimmed = Trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) {
        negative = trimmed[i] == u'-';
        ++i;
    }
    if (i == trimmed.size()) return false;
    // Accumulated as a magnitude so that the most negative value fits too.
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1u
                                         : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i];
        if (c < u'0' || c > u'9') return false;
        const auto digit = static_cast<std::uint64_t>(c - u'0');
        if (magnitude > (limit - digit) / 10u) return false;
        magnitude = magnitude * 10u + digit;
    }
    if (!negative) {
        *number = static_cast<std::int64_t>(magnitude);
    } else {
        *number = magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1u) - 1;
    }
    return true;
}

std::int64_t ParseHandleText(const Text& text) {
    std::int64_t number = 0;
    if (!TryParseHandleText(text, &number)) throw Failure("Handle is not a decimal number");
    return number;
}

std::int64_t HandleTextOrDefault(const Text& text) {
    std::int64_t number = 0;
    return TryParseHandleText(text, &number) ? number : 0;
}

Hwnd HandleTextWindow(const Text& text) {
    const std::int64_t value = HandleTextOrDefault(text);
    if (value <= 0 || value > static_cast<std::int64_t>(std::numeric_limits<Hwnd>::max())) return 0;
    return static_cast<Hwnd>(value);
}

Text HandleText(Hwnd window) {
    Text text;
    std::uint32_t value = window;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10u));
        value /= 10u;
    } while (value != 0);
    return text;
}

bool IsRegionalDateText(const Text& text) { return text.find(u':') != Text::npos || text.find(u'/') != Text::npos; }

bool ParseLocalSecondsText(const Text& text, std::int32_t* seconds) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) return false;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < u'0' || c > u'9') return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > 2147483648LL) return false;
    }
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max()) return false;
    *seconds = static_cast<std::int32_t>(result);
    return true;
}

}  // namespace kx
