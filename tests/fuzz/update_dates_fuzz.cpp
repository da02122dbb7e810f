// The UpdatedDate texts any account can store: a text of whole seconds, or a
// regional date-time handed to the platform's parser, whose answer is taken
// from the input too (any double, NaN and the infinities included). Nothing
// may escape but the conversion's own Failure, no arithmetic may overflow,
// and a count of seconds must come back from its moment unchanged.
//
// Nine bytes of parser and a settings text at its cap of 4,096 UTF-16 units.
// fuzz-cap: 8201
// fuzz-seed: 1
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/Failure.h"
#include "sim/SimPlatform.h"
#include "update/UpdateDates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    kx::sim::SimPlatform sim;
    // The first byte picks what the parser does, the next eight its answer.
    const std::uint8_t mode = data[0];
    double parsed = 0;
    std::memcpy(&parsed, data + 1, sizeof parsed);
    sim.world.dateParser = [mode, parsed](const kx::Text&, std::uint32_t, std::uint32_t flags, double* date) -> long {
        const bool dateOnly = (flags & kx::kVarDateValueOnly) != 0;
        if ((mode & (dateOnly ? 2 : 1)) == 0) return static_cast<long>(0x80020005L);
        *date = parsed;
        return 0;
    };
    // The rest is the stored text: ASCII bytes, or UTF-16 units when the mode says so.
    kx::Text text;
    if ((mode & 4) != 0) {
        for (std::size_t i = 9; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
    } else {
        for (std::size_t i = 9; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
    }
    sim.world.SetLocalTime(kx::SystemTime{2022, 6, 3, 5, 12, 0, 0, 0});
    const double now = kx::CurrentMoment(sim.clock);
    try {
        const double then = kx::UpdatedDateToDateTime(text, sim.clock);
        const std::int64_t days = kx::WholeDaysBetween(then, now);
        if (days < 0) std::abort();
        const bool regional = text.find(u':') != kx::Text::npos || text.find(u'/') != kx::Text::npos;
        if (!regional) {
            // A count of seconds: its moment gives the same count back.
            const std::int32_t seconds = kx::DateTimeToLocalSeconds(then);
            if (kx::LocalSecondsToDateTime(seconds) != then) std::abort();
        }
    } catch (const kx::Failure&) {
        // A text that is neither form, or a moment outside the platform's range.
    }
    // The conversions themselves take any moment.
    (void)kx::DateTimeToLocalSeconds(parsed);
    return 0;
}
