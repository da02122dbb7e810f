// How stored text is read: lines, comma text, ASCII-only case folding and trimming.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

// Cuts stored bytes into lines. The encoding is chosen by the byte-order mark
// (UTF-8, UTF-16 LE, UTF-16 BE), else the system ANSI code page. Throws
// Failure when UTF-8 text holds an invalid sequence.
std::vector<Text> ReadTextLines(const std::vector<std::uint8_t>& bytes, ISystemInfo& system);

// Splits one line of comma text into its fields; never fails.
std::vector<Text> SplitCommaText(const Text& text);

// Only a-z and A-Z change; every other character stays as it is.
Text AsciiUpper(Text text);
// The same into a buffer the caller keeps, so a hot path allocates nothing.
void AsciiUpperInto(const Text& text, Text* out);
Text AsciiLower(Text text);
bool EqualsIgnoreAsciiCase(const Text& a, const Text& b);
// True when needle is not empty and occurs in haystack, ASCII letters folded.
bool ContainsIgnoreAsciiCase(const Text& haystack, const Text& needle);
// Removes the characters with codes 0 to 32 from both ends.
Text Trim(const Text& text);

// Each character as two bytes, low byte first; no mark, no terminator.
std::vector<std::uint8_t> Utf16LeBytes(const Text& text);
// UTF-16 LE bytes back to text, up to the first zero character; an odd last byte is dropped.
Text Utf16LeText(const std::uint8_t* bytes, std::size_t count);

// Conversions for the few places that need narrow text.
Text AsciiToText(const char* ascii);

}  // namespace kx
