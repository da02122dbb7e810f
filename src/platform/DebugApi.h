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
// viewer (or WINEDEBUG=warn+seh under Wine 8). A failure that repeats (the
// same source and the same text) writes its first line at once and then at
// most one line a minute, counting the lines it held back, so a failure
// repeated every tick does not flood the output; another failure of the same
// source is limited on its own and written at once. Writing never fails and
// never throws.
class DebugTrace {
public:
    static constexpr std::uint64_t kQuietMilliseconds = 60000;
    // The distinct failures remembered; past them the one written longest ago is forgotten.
    static constexpr std::size_t kMaxFailures = 128;

    DebugTrace(IDebugOutput& output, IClock& clock, std::string_view program = "KestrixTray")
        : output_(output), clock_(clock), program_(program) {}
    DebugTrace(const DebugTrace&) = delete;
    DebugTrace& operator=(const DebugTrace&) = delete;

    // source names the place ("tick", "settings.write"); what says what failed.
    void Line(std::string_view source, std::string_view what) noexcept;
    // A line that is always written (an event, not a failure), e.g. a move of threads.
    void Event(std::string_view source, std::string_view what) noexcept;

private:
    struct Seen {
        std::string source;
        std::string what;
        std::uint64_t lastWritten = 0;
        std::uint32_t heldBack = 0;
    };
    void Write(std::string_view source, std::string_view what, std::uint32_t heldBack) noexcept;

    IDebugOutput& output_;
    IClock& clock_;
    std::string program_;
    std::vector<Seen> failures_;
};

}  // namespace kx
