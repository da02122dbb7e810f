// Case folding of the ASCII letters only, the one folding every comparison
// of the programs uses (block rows, library pins, caption tables). It lies
// in the lowest layer so that the platform's own code can use it too.
#pragma once

#include "platform/Types.h"

namespace kx {

// One character: a-z becomes A-Z, every other character stays as it is.
inline char16_t FoldAsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

// Only a-z and A-Z change; every other character stays as it is.
Text AsciiUpper(Text text);
// The same into a buffer the caller keeps, so a hot path allocates nothing.
void AsciiUpperInto(const Text& text, Text* out);
Text AsciiLower(Text text);
bool EqualsIgnoreAsciiCase(const Text& a, const Text& b);
// True when needle is not empty and occurs in haystack, ASCII letters folded.
bool ContainsIgnoreAsciiCase(const Text& haystack, const Text& needle);

}  // namespace kx
