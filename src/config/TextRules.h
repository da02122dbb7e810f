// How stored text is read: lines, comma text, ASCII-only case folding and trimming.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/SystemApi.h"
#include "platform/AsciiCase.h"
#include "platform/Types.h"

namespace kx {

// Cuts stored bytes into lines. The encoding is chosen by the byte-order mark
// (UTF-8, UTF-16 LE, UTF-16 BE), else the system ANSI code page. Throws
// Failure when UTF-8 text holds an invalid sequence.
std::vector<Text> ReadTextLines(const std::vector<std::uint8_t>& bytes, ISystemInfo& system);

// Splits one line of comma text into its fields; never fails.
std::vector<Text> SplitCommaText(const Text& text);

// The ASCII case folding (AsciiUpper, AsciiLower, ...) is platform/AsciiCase.h's.
// Removes the characters with codes 0 to 32 from both ends.
Text Trim(const Text& text);

// Each character as two bytes, low byte first; no mark, no terminator.
std::vector<std::uint8_t> Utf16LeBytes(const Text& text);
// UTF-16 LE bytes back to text, up to the first zero character; an odd last byte is dropped.
Text Utf16LeText(const std::uint8_t* bytes, std::size_t count);

// Conversions for the few places that need narrow text.
Text AsciiToText(const char* ascii);

}  // namespace kx
