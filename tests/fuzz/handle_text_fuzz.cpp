// The Handle text over arbitrary UTF-16, as any account may store it: the
// parse agrees with its non-throwing forms, throws only Failure, and every
// window handle's text reads back as that handle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config/StoredValues.h"
#include "platform/Failure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::Text text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    std::int64_t number = 0;
    const bool parsed = kx::TryParseHandleText(text, &number);
    const std::int64_t orDefault = kx::HandleTextOrDefault(text);
    if (orDefault != (parsed ? number : 0)) std::abort();
    try {
        if (kx::ParseHandleText(text) != number || !parsed) std::abort();
    } catch (const kx::Failure&) {
        if (parsed) std::abort();
    }
    const kx::Hwnd window = kx::HandleTextWindow(text);
    if (window != 0 && static_cast<std::int64_t>(window) != orDefault) std::abort();

    // A handle made of the first four bytes: its text is read back exactly.
    if (size >= 4) {
        const kx::Hwnd handle = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<kx::Hwnd>(data[3]) << 24);
        std::int64_t back = -1;
        if (!kx::TryParseHandleText(kx::HandleText(handle), &back) || back != static_cast<std::int64_t>(handle)) {
            std::abort();
        }
    }
    return 0;
}
