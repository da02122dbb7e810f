// The settings values whose text carries a number, parsed the one way every
// program reads them: Handle (the window KestrixTray accelerated last) and
// UpdatedDate (the moment of the last update, in either of its two forms).
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kx {

// The Handle text as a signed 64-bit number: blanks (codes 0 to 32) around
// it are ignored, then an optional sign and one or more decimal digits that
// fit 64 bits. False for anything else, number then untouched.
bool TryParseHandleText(const Text& text, std::int64_t* number);
// As TryParseHandleText, throwing Failure for a text that is no such number.
std::int64_t ParseHandleText(const Text& text);
// The number a Handle text holds, or 0 (its default, no window) for a text
// that is no number: a word, or digits beyond 64 bits. Never throws.
std::int64_t HandleTextOrDefault(const Text& text);
// The window a Handle text names: 0 when the text is no number or names no
// 32-bit window handle (0, negative, or beyond 32 bits). Never throws.
Hwnd HandleTextWindow(const Text& text);
// The decimal text a window handle is recorded as (its unsigned value).
Text HandleText(Hwnd window);

// UpdatedDate in its regional date-time form: a text holding ":" or "/".
bool IsRegionalDateText(const Text& text);
// UpdatedDate in its seconds form: an optional sign and decimal digits (no
// blanks) that fit a signed 32-bit integer. False for anything else.
bool ParseLocalSecondsText(const Text& text, std::int32_t* seconds);

}  // namespace kx
