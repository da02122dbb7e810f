#include "platform/DebugApi.h"

#include <algorithm>

namespace kx {

void DebugTrace::Line(std::string_view source, std::string_view what) noexcept {
    try {
        const std::uint64_t now = clock_.GetTickCount64();
        auto it = std::find_if(sources_.begin(), sources_.end(),
                               [&](const Source& s) { return s.name == source; });
        if (it == sources_.end()) {
            if (sources_.size() >= kMaxSources) {
                // Sources are named in the code, so this only guards against a
                // name built from data: the oldest entry makes room.
                sources_.erase(sources_.begin());
            }
            sources_.push_back(Source{std::string(source), now, 0});
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
