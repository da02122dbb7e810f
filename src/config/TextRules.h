// How stored text is read: lines, comma text, ASCII-only case folding and trimming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/SystemApi.h"
#include "platform/AsciiCase.h"
#include "platform/Types.h"

namespace kx {

// Cuts stored bytes into lines. The encoding is chosen by the byte-order mark
// (UTF-8, UTF-16 LE, UTF-16 BE), else the system ANSI code page. Throws
// Failure when UTF-8 text holds an invalid sequence.
std::vector<Text> ReadTextLines(const std::vector<std::uint8_t>& bytes, ISystemInfo& system);
// The same two steps apart, for a reader that looks at each line once
// without keeping them all: the decoded text up to its first NUL (throws as
// ReadTextLines does), and its lines handed to visit in order. The visit
// stops when visit returns false; the result is false then.
Text DecodeStoredText(const std::vector<std::uint8_t>& bytes, ISystemInfo& system);
bool VisitTextLines(std::u16string_view text, const std::function<bool(std::u16string_view line)>& visit);

// True when the line holds nothing but characters with codes 0 to 32.
bool IsBlankLine(std::u16string_view line);
// The lines of a block-list text that hold a row (every line but the blank
// ones), handed to row in order while the caps of InputLimits.h hold, so
// that a reader pays for nothing past them: false, and no more lines, at the
// first line longer than a line may be or at one row more than a list may have.
bool VisitBlockListRows(std::u16string_view text, const std::function<void(std::u16string_view line)>& row);

// Splits one line of comma text into its fields; never fails. With
// maxFields, the splitting stops once that many fields have been found, so
// a reader that needs only the first few does not pay for the rest.
std::vector<Text> SplitCommaText(std::u16string_view text, std::size_t maxFields = static_cast<std::size_t>(-1));

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
