#include "platform/DebugApi.h"

#include <algorithm>

namespace kx {

void DebugTrace::Line(std::string_view source, std::string_view what) noexcept {
    try {
        const std::uint64_t now = clock_.GetTickCount64();
        // Each distinct failure of a source is limited on its own: a second
        // failure of the same place is not lost behind the first.
        auto it = std::find_if(failures_.begin(), failures_.end(),
                               [&](const Seen& f) { return f.source == source && f.what == what; });
        if (it == failures_.end()) {
            if (failures_.size() >= kMaxFailures) {
                // A message built from data could make endless distinct ones:
                // the one written longest ago makes room (it is written again
                // at once should it come back).
                failures_.erase(std::min_element(failures_.begin(), failures_.end(),
                                                 [](const Seen& a, const Seen& b) {
                                                     return a.lastWritten < b.lastWritten;
                                                 }));
            }
            failures_.push_back(Seen{std::string(source), std::string(what), now, 0});
            Write(source, what, 0);
            return;
        }
        if (now - it->lastWritten < kQuietMilliseconds) {
            if (it->heldBack < UINT32_MAX) ++it->heldBack;
            return;
        }
        const std::uint32_t held = it->heldBack;
        it->lastWritten = now;
        it->heldBack = 0;
        Write(source, what, held);
    } catch (...) {
        // Out of memory while tracing: there is nothing left to report it through.
    }
}

void DebugTrace::Event(std::string_view source, std::string_view what) noexcept {
    try {
        Write(source, what, 0);
    } catch (...) {
    }
}

void DebugTrace::Write(std::string_view source, std::string_view what, std::uint32_t heldBack) noexcept {
    try {
        std::string line;
        line.reserve(program_.size() + source.size() + what.size() + 32);
        line += program_;
        line += ": ";
        line += source;
        line += ": ";
        line += what;
        if (heldBack > 0) {
            line += " (";
            line += std::to_string(heldBack);
            line += " more like it held back)";
        }
        line += '\n';
        // The lines are ASCII or UTF-8 from the program's own texts; bytes past
        // ASCII are widened one by one, which keeps them visible if not pretty.
        Text wide;
        wide.reserve(line.size());
        for (char c : line) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        output_.OutputDebugStringW(wide);
    } catch (...) {
    }
}

}  // namespace kx
