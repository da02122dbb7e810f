// kernel32's debug output, as the program calls it, and the rate-limited
// trace every unit writes its failures through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClockApi.h"
#include "platform/Types.h"

namespace kx {

class IDebugOutput {
public:
    virtual ~IDebugOutput() = default;
    virtual void OutputDebugStringW(const Text& text) = 0;
};

// One line per failure on the debug output ("KestrixTray: <source>: <what>"),
// so that something that did not happen can be followed with a debug-output
// viewer (or WINEDEBUG=warn+seh under Wine 8). A source that fails again and
// again writes its first line at once and then at most one line a minute,
// counting the lines it held back, so a failure repeated every tick does not
// flood the output. Writing never fails and never throws.
class DebugTrace {
public:
    static constexpr std::uint64_t kQuietMilliseconds = 60000;
    static constexpr std::size_t kMaxSources = 64;

    DebugTrace(IDebugOutput& output, IClock& clock, std::string_view program = "KestrixTray")
        : output_(output), clock_(clock), program_(program) {}
    DebugTrace(const DebugTrace&) = delete;
    DebugTrace& operator=(const DebugTrace&) = delete;

    // source names the place ("tick", "settings.write"); what says what failed.
    void Line(std::string_view source, std::string_view what) noexcept;
    // A line that is always written (an event, not a failure), e.g. a move of threads.
    void Event(std::string_view source, std::string_view what) noexcept;

private:
    struct Source {
        std::string name;
        std::uint64_t lastWritten = 0;
        std::uint32_t heldBack = 0;
    };
    void Write(std::string_view source, std::string_view what, std::uint32_t heldBack) noexcept;

    IDebugOutput& output_;
    IClock& clock_;
    std::string program_;
    std::vector<Source> sources_;
};

}  // namespace kx
