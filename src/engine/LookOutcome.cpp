#include "engine/LookOutcome.h"

#include <string>
#include <vector>

#include "config/Contract.h"

namespace kx {

namespace {

// The caption group of the status texts, with the English text each row
// stands in for where a table lacks it.
constexpr const char16_t* kGroup = contract::kStatusGroup;


// "%1", "%2", "%3" in the template replaced by the arguments, in one pass,
// so that an argument holding "%2" stays as it is.
Text Fill(const Text& pattern, const std::vector<Text>& arguments) {
    Text out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - u'1');
            if (n < arguments.size()) out += arguments[n];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

Text ClassWords(const StatusCaption& caption, std::uint32_t priorityClass) {
    switch (priorityClass) {
        case w32::kIdlePriorityClass: return caption(u"ClassIdle", u"low");
        case w32::kBelowNormalPriorityClass: return caption(u"ClassBelow", u"below normal");
        case w32::kNormalPriorityClass: return caption(u"ClassNormal", u"normal");
        case w32::kAboveNormalPriorityClass: return caption(u"ClassAbove", u"above normal");
        case w32::kHighPriorityClass: return caption(u"ClassHigh", u"high");
        case w32::kRealtimePriorityClass: return caption(u"ClassRealtime", u"realtime");
        default: break;
    }
    return Text(u"0x") + [priorityClass] {
        const char digits[] = "0123456789ABCDEF";
        Text hex;
        for (int shift = 28; shift >= 0; shift -= 4) hex += static_cast<char16_t>(digits[(priorityClass >> shift) & 0xF]);
        return hex;
    }();
}

Text Ascii(const char* text) { return Text(text, text + std::char_traits<char>::length(text)); }

std::vector<std::uint8_t> SzBytes(const Text& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace

Text ProgramFileName(const Text& imagePath) {
    const std::size_t slash = imagePath.find_last_of(u"\\/");
    return slash == Text::npos ? imagePath : imagePath.substr(slash + 1);
}

LookOutcome RaisedOutcome(const Text& imagePath, const RaiseResult& raise, PlacementKind cores) {
    LookOutcome outcome;
    outcome.program = ProgramFileName(imagePath);
    outcome.asked = raise.asked;
    if (!raise.opened) {
        outcome.kind = OutcomeKind::Refused;
        // OpenProcess answers "invalid parameter" for an id that names no process.
        outcome.refusal = raise.openError == static_cast<std::uint32_t>(w32::kErrorInvalidParameter) ? Refusal::Ended
                                                                                                       : Refusal::Denied;
        return outcome;
    }
    if (raise.asked != 0 && !raise.set) {
        outcome.kind = OutcomeKind::Refused;
        outcome.refusal = Refusal::Unchanged;
        return outcome;
    }
    outcome.kind = OutcomeKind::Raised;
    outcome.given = raise.given;
    outcome.cores = cores;
    return outcome;
}

LookOutcome BlockedOutcome(const Text& imagePath, const BlockRow& row) {
    LookOutcome outcome;
    outcome.kind = OutcomeKind::Blocked;
    outcome.program = ProgramFileName(imagePath);
    outcome.builtInRow = row.origin == u"*";
    outcome.pattern = row.pattern;
    return outcome;
}

LookOutcome OwnOutcome(const Text& imagePath) {
    LookOutcome outcome;
    outcome.kind = OutcomeKind::Own;
    outcome.program = ProgramFileName(imagePath);
    return outcome;
}

Text OutcomeWord(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::Raised: return u"raised";
        case OutcomeKind::Blocked: return u"blocked";
        case OutcomeKind::Refused: return u"refused";
        case OutcomeKind::Own: return u"own";
        case OutcomeKind::None: break;
    }
    return {};
}

Text StatusReason(const LookOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::Blocked: return (outcome.builtInRow ? Text(u"built-in row: ") : Text(u"user row: ")) + outcome.pattern;
        case OutcomeKind::Refused:
            switch (outcome.refusal) {
                case Refusal::Denied: return u"access denied: it runs as administrator or is protected";
                case Refusal::Ended: return u"the process has ended";
                case Refusal::Unchanged: return u"Windows refused the change";
                case Refusal::None: break;
            }
            break;
        case OutcomeKind::Raised:
            if (outcome.given != outcome.asked) return u"Windows gave a class other than the one asked";
            break;
        case OutcomeKind::Own: return u"KestrixTray's own window";
        case OutcomeKind::None: break;
    }
    return {};
}

bool StatusRecord::Record(const LookOutcome& outcome) {
    if (outcome.kind == OutcomeKind::None || (writes_ != 0 && outcome == last_)) return false;
    try {
        KHandle raw = 0;
        if (registry_.RegCreateVolatileKeyW(w32::kHkeyCurrentUser, contract::kStatusKey, w32::kKeyWrite, &raw) !=
            w32::kErrorSuccess) {
            if (trace_ != nullptr) trace_->Line("status", "the Status key cannot be created");
            return false;
        }
        OwnedKey key(registry_, raw);
        const auto text = [&](const char16_t* name, const Text& value) {
            const std::vector<std::uint8_t> bytes = SzBytes(value);
            return registry_.RegSetValueExW(key.get(), name, w32::kRegSz, bytes.data(),
                                            static_cast<std::uint32_t>(bytes.size())) == w32::kErrorSuccess;
        };
        const auto dword = [&](const char16_t* name, std::uint32_t value) {
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                           static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
            return registry_.RegSetValueExW(key.get(), name, w32::kRegDword, bytes, 4) == w32::kErrorSuccess;
        };
        // The outcome last, so that a reader that sees it new sees the rest new too.
        const bool written = text(u"Program", outcome.program) & dword(u"Class", outcome.given) &
                             dword(u"Asked", outcome.asked) & text(u"Cores", Ascii(CoresWords(outcome.cores))) &
                             text(u"Reason", StatusReason(outcome)) & text(u"Outcome", OutcomeWord(outcome.kind));
        if (!written) {
            if (trace_ != nullptr) trace_->Line("status", "a Status value cannot be written");
            return false;
        }
        last_ = outcome;
        ++writes_;
        return true;
    } catch (...) {
        return false;
    }
}

Text StatusLine(const LookOutcome& outcome, const StatusCaption& caption) {
    try {
        switch (outcome.kind) {
            case OutcomeKind::Raised: {
                Text line = outcome.given == outcome.asked
                                ? Fill(caption(u"Raised", u"%1 raised to %2"),
                                       {outcome.program, ClassWords(caption, outcome.given)})
                                : Fill(caption(u"RaisedAsked", u"%1 given %2 (%3 asked)"),
                                       {outcome.program, ClassWords(caption, outcome.given),
                                        ClassWords(caption, outcome.asked)});
                const char16_t* key = outcome.cores == PlacementKind::Performance   ? u"PerformanceCores"
                                      : outcome.cores == PlacementKind::LargeCache  ? u"LargeCacheCores"
                                      : outcome.cores == PlacementKind::Efficiency ? u"EfficiencyCores"
                                                                                    : nullptr;
                if (key != nullptr) {
                    line = Fill(caption(u"OnCores", u"%1, on the %2"),
                                {line, caption(key, Ascii(CoresWords(outcome.cores)).c_str())});
                }
                return line;
            }
            case OutcomeKind::Blocked:
                return outcome.builtInRow
                           ? Fill(caption(u"BlockedBuiltIn", u"%1 not raised: blocked by the built-in row \"%2\""),
                                  {outcome.program, outcome.pattern})
                           : Fill(caption(u"BlockedUser", u"%1 not raised: blocked by your row \"%2\""),
                                  {outcome.program, outcome.pattern});
            case OutcomeKind::Refused: {
                const Text pattern =
                    outcome.refusal == Refusal::Ended
                        ? caption(u"RefusedEnded", u"%1 not raised: it has ended")
                    : outcome.refusal == Refusal::Unchanged
                        ? caption(u"RefusedUnchanged", u"%1 not raised: Windows refused the change")
                        : caption(u"RefusedDenied", u"%1 not raised: it runs as administrator or is protected");
                return Fill(pattern, {outcome.program});
            }
            case OutcomeKind::Own: return caption(u"Own", u"Kestrix's own window");
            case OutcomeKind::None: break;
        }
    } catch (...) {
    }
    return {};
}

Text StatusLine(const LookOutcome& outcome, const Captions& captions) {
    return StatusLine(outcome, [&captions](const char16_t* key, const char16_t* english) {
        Text text = english;
        captions.GetCaption(kGroup, key, text);
        return text;
    });
}

LookOutcome ReadStatusRecord(IRegistry& registry) {
    LookOutcome outcome;
    try {
        KHandle raw = 0;
        if (registry.RegOpenKeyExW(w32::kHkeyCurrentUser, contract::kStatusKey, w32::kKeyRead, &raw) !=
            w32::kErrorSuccess) {
            return outcome;
        }
        OwnedKey key(registry, raw);
        // Values are bounded: anything past a tooltip's worth is not believed.
        const auto text = [&](const char16_t* name) {
            std::uint8_t bytes[1024] = {};
            std::uint32_t type = 0;
            std::uint32_t size = sizeof bytes;
            Text value;
            if (registry.RegQueryValueExW(key.get(), name, &type, bytes, &size) != w32::kErrorSuccess ||
                type != w32::kRegSz) {
                return value;
            }
            for (std::uint32_t i = 0; i + 1 < size; i += 2) {
                const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
                if (c == 0) break;
                value += c;
            }
            return value;
        };
        const auto dword = [&](const char16_t* name) {
            std::uint8_t bytes[4] = {};
            std::uint32_t type = 0;
            std::uint32_t size = 4;
            if (registry.RegQueryValueExW(key.get(), name, &type, bytes, &size) != w32::kErrorSuccess ||
                type != w32::kRegDword || size != 4) {
                return std::uint32_t{0};
            }
            return static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) |
                   (static_cast<std::uint32_t>(bytes[3]) << 24);
        };
        const Text word = text(u"Outcome");
        for (const OutcomeKind kind : {OutcomeKind::Raised, OutcomeKind::Blocked, OutcomeKind::Refused, OutcomeKind::Own}) {
            if (OutcomeWord(kind) == word) outcome.kind = kind;
        }
        if (outcome.kind == OutcomeKind::None) return outcome;
        outcome.program = text(u"Program");
        outcome.given = dword(u"Class");
        outcome.asked = dword(u"Asked");
        const Text cores = text(u"Cores");
        for (const PlacementKind kind : {PlacementKind::Performance, PlacementKind::LargeCache, PlacementKind::Efficiency}) {
            if (Ascii(CoresWords(kind)) == cores) outcome.cores = kind;
        }
        const Text reason = text(u"Reason");
        if (outcome.kind == OutcomeKind::Blocked) {
            const Text builtIn = u"built-in row: ";
            const Text user = u"user row: ";
            outcome.builtInRow = reason.compare(0, builtIn.size(), builtIn) == 0;
            const std::size_t prefix = outcome.builtInRow ? builtIn.size() : user.size();
            outcome.pattern = reason.size() > prefix ? reason.substr(prefix) : Text();
        } else if (outcome.kind == OutcomeKind::Refused) {
            for (const Refusal refusal : {Refusal::Denied, Refusal::Ended, Refusal::Unchanged}) {
                LookOutcome probe;
                probe.kind = OutcomeKind::Refused;
                probe.refusal = refusal;
                if (StatusReason(probe) == reason) outcome.refusal = refusal;
            }
        }
    } catch (...) {
        return LookOutcome{};
    }
    return outcome;
}

Text HintWithStatus(const Text& hint, const Text& line) {
    Text tip = line.empty() ? hint : hint + u"\n" + line;
    if (tip.size() > kTooltipCharacters) {
        tip.resize(kTooltipCharacters);
        // Never half of a surrogate pair at the end.
        if (tip.back() >= 0xD800 && tip.back() <= 0xDBFF) tip.pop_back();
    }
    return tip;
}

}  // namespace kx
