// Stored texts come from files and resources that anyone may have written:
// ReadTextLines and SplitCommaText must take any bytes without a crash or a
// sanitizer report, and keep the promises their callers rely on.
//
// The first input byte picks the ANSI code page of the simulated system; the
// rest is the stored text.
//
// The code-page byte and a file at its cap, of nothing but line breaks.
// fuzz-cap: 4194305
// fuzz-seed: \n
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/Failure.h"
#include "config/TextRules.h"
#include "sim/SimSystem.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool HasByteOrderMark(const std::vector<std::uint8_t>& bytes, std::initializer_list<std::uint8_t> mark) {
    if (bytes.size() < mark.size()) return false;
    std::size_t i = 0;
    for (const std::uint8_t b : mark) {
        if (bytes[i++] != b) return false;
    }
    return true;
}

// Without a double quote every field is unquoted, so none can hold a comma
// or a character from 0 to 32.
void CheckFields(const kx::Text& line) {
    const std::vector<kx::Text> fields = kx::SplitCommaText(line);
    if (line.find(u'"') != kx::Text::npos) return;
    for (const auto& field : fields) {
        for (const char16_t c : field) Check(c != u',' && c > 32);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    kx::sim::SimWorld world;
    world.ansiCodePage = (data[0] & 1) != 0 ? 1251 : 1252;
    kx::sim::SimSystem system(world);
    const std::vector<std::uint8_t> bytes(data + 1, data + size);

    std::vector<kx::Text> lines;
    try {
        lines = kx::ReadTextLines(bytes, system);
    } catch (const kx::Failure&) {
        // Only UTF-8 text can be invalid; every other encoding always decodes.
        Check(HasByteOrderMark(bytes, {0xEF, 0xBB, 0xBF}));
        return 0;
    }
    for (const auto& line : lines) {
        for (const char16_t c : line) Check(c != u'\r' && c != u'\n' && c != 0);
        CheckFields(line);
    }

    // The splitter on its own, with every code unit the bytes can make,
    // NUL characters included.
    kx::Text raw;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        raw.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    CheckFields(raw);
    return 0;
}
