// What a look did to the program in front, told to the user: written to the
// current user's volatile Status key (for the main program and any script)
// and, when ShowStatus is on, added to the icon's tooltip in the user's language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "config/Captions.h"
#include "engine/BlockList.h"
#include "engine/CorePlacement.h"
#include "engine/Priority.h"
#include "platform/DebugApi.h"
#include "platform/RegistryApi.h"
#include "platform/Types.h"

namespace kx {

enum class OutcomeKind : std::uint8_t { None, Raised, Blocked, Refused, Own };
// Why a program was not raised.
enum class Refusal : std::uint8_t { None, Denied, Ended, Unchanged };

struct LookOutcome {
    OutcomeKind kind = OutcomeKind::None;
    Text program;             // the executable's file name
    std::uint32_t given = 0;  // the class read back (raised)
    std::uint32_t asked = 0;  // the class asked for (raised)
    PlacementKind cores = PlacementKind::None;  // the processors it was given
    bool builtInRow = false;  // blocked: by a built-in row, or by one of the user's
    Text pattern;             // blocked: that row's pattern
    Refusal refusal = Refusal::None;

    friend bool operator==(const LookOutcome& a, const LookOutcome& b) {
        return a.kind == b.kind && a.program == b.program && a.given == b.given && a.asked == b.asked &&
               a.cores == b.cores && a.builtInRow == b.builtInRow && a.pattern == b.pattern &&
               a.refusal == b.refusal;
    }
    friend bool operator!=(const LookOutcome& a, const LookOutcome& b) { return !(a == b); }
};

// The outcomes, each from what the look found.
LookOutcome RaisedOutcome(const Text& imagePath, const RaiseResult& raise, PlacementKind cores);
LookOutcome BlockedOutcome(const Text& imagePath, const BlockRow& row);
LookOutcome OwnOutcome(const Text& imagePath);

// The file name of an image path: what follows its last backslash.
Text ProgramFileName(const Text& imagePath);
// The values the Status key holds: Outcome ("raised", "blocked", "refused",
// "own"), Cores ("performance cores", ...) and Reason, in English words.
Text OutcomeWord(OutcomeKind kind);
Text StatusReason(const LookOutcome& outcome);

// Writes the outcome under HKEY_CURRENT_USER\Software\VELMOR\Kestrix\Status,
// a key created volatile, when it differs from the one written last.
class StatusRecord {
public:
    StatusRecord(IRegistry& registry, DebugTrace* trace) : registry_(registry), trace_(trace) {}
    // True when the values were written now.
    bool Record(const LookOutcome& outcome);
    const LookOutcome& Last() const { return last_; }
    std::size_t Writes() const { return writes_; }

private:
    IRegistry& registry_;
    DebugTrace* trace_;
    LookOutcome last_;
    std::size_t writes_ = 0;
};

// What the Status key holds now (the main program and any script read it);
// kind None when there is nothing, or nothing that reads as an outcome.
LookOutcome ReadStatusRecord(IRegistry& registry);

// A text of the status group by key, or the English one where the table has none.
using StatusCaption = std::function<Text(const char16_t* key, const char16_t* english)>;
// The tooltip's second line for the outcome, in the current language.
Text StatusLine(const LookOutcome& outcome, const StatusCaption& caption);
Text StatusLine(const LookOutcome& outcome, const Captions& captions);
// The tooltip: hint, then the status line on a line of its own, within the
// 127 characters (and the final zero) a tooltip holds, never cut inside a
// character. No line: the hint alone.
Text HintWithStatus(const Text& hint, const Text& line);

// The most a tooltip shows, its final zero left out.
constexpr std::size_t kTooltipCharacters = 127;

}  // namespace kx
