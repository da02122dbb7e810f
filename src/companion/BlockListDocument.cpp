#include "companion/BlockListDocument.h"

#include "config/InputLimits.h"
#include "config/TextRules.h"

namespace kx {

namespace {

bool HoldsLineBreak(const Text& value) {
    for (char16_t c : value) {
        if (c == u'\r' || c == u'\n' || c == u'\0') return true;
    }
    return false;
}

Text FormatAddition(const BlockFileLine& line) {
    return QuoteBlockValue(u"+") + u", " + QuoteBlockValue(line.kind) + u", " + QuoteBlockValue(line.pattern) + u", " +
           QuoteBlockValue(line.description);
}

Text FormatRemoval(const BlockFileLine& line) { return QuoteBlockValue(u"-") + u", " + QuoteBlockValue(line.pattern); }

}  // namespace

Text QuoteBlockValue(const Text& value) {
    Text quoted;
    quoted.reserve(value.size() + 2);
    quoted.push_back(u'"');
    for (char16_t c : value) {
        quoted.push_back(c);
        if (c == u'"') quoted.push_back(u'"');
    }
    quoted.push_back(u'"');
    return quoted;
}

BlockListDocument BlockListDocument::FromLines(const std::vector<Text>& lines) {
    BlockListDocument document;
    for (const Text& text : lines) {
        // Blank lines hold no row; KestrixTray skips them too.
        if (Trim(text).empty()) continue;
        const std::vector<Text> fields = SplitCommaText(text);
        BlockFileLine line;
        line.raw = text;
        if (!fields.empty() && fields[0] == u"-") {
            if (fields.size() >= 2) {
                line.type = BlockFileLine::Type::Removal;
                line.pattern = fields[1];
            } else {
                line.type = BlockFileLine::Type::Foreign;
            }
        } else if (fields.size() >= 4) {
            line.type = BlockFileLine::Type::Addition;
            line.kind = fields[1];
            line.pattern = fields[2];
            line.description = fields[3];
        } else {
            line.type = BlockFileLine::Type::Foreign;
        }
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::vector<const BlockFileLine*> BlockListDocument::UserRows() const {
    std::vector<const BlockFileLine*> rows;
    for (const auto& line : lines_) {
        if (line.type == BlockFileLine::Type::Addition) rows.push_back(&line);
    }
    return rows;
}

std::vector<Text> BlockListDocument::ForeignLines() const {
    std::vector<Text> foreign;
    for (const auto& line : lines_) {
        if (line.type == BlockFileLine::Type::Foreign) foreign.push_back(line.raw);
    }
    return foreign;
}

RowProblem BlockListDocument::CheckRow(const Text& kind, const Text& pattern, const Text& description) {
    if (kind != u"0" && kind != u"1" && kind != u"2") return RowProblem::BadKind;
    if (pattern.empty()) return RowProblem::EmptyPattern;
    if (HoldsLineBreak(pattern) || HoldsLineBreak(description)) return RowProblem::LineBreak;
    BlockFileLine line;
    line.kind = kind;
    line.pattern = pattern;
    line.description = description;
    if (FormatAddition(line).size() > kMaxBlockListLineChars) return RowProblem::TooLong;
    return RowProblem::None;
}

RowProblem BlockListDocument::AddRow(const Text& kind, const Text& pattern, const Text& description) {
    const RowProblem problem = CheckRow(kind, pattern, description);
    if (problem != RowProblem::None) return problem;
    BlockFileLine line;
    line.type = BlockFileLine::Type::Addition;
    line.kind = kind;
    line.pattern = pattern;
    line.description = description;
    lines_.push_back(std::move(line));
    return RowProblem::None;
}

std::size_t BlockListDocument::LineOfUserRow(std::size_t userRow) const {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].type != BlockFileLine::Type::Addition) continue;
        if (seen == userRow) return i;
        ++seen;
    }
    return lines_.size();
}

RowProblem BlockListDocument::ChangeRow(std::size_t userRow, const Text& kind, const Text& pattern,
                                        const Text& description) {
    const std::size_t at = LineOfUserRow(userRow);
    if (at == lines_.size()) return RowProblem::None;
    const RowProblem problem = CheckRow(kind, pattern, description);
    if (problem != RowProblem::None) return problem;
    BlockFileLine& line = lines_[at];
    if (line.kind == kind && line.pattern == pattern && line.description == description) return RowProblem::None;
    line.kind = kind;
    line.pattern = pattern;
    line.description = description;
    line.raw.clear();
    return RowProblem::None;
}

bool BlockListDocument::DeleteRow(std::size_t userRow) {
    const std::size_t at = LineOfUserRow(userRow);
    if (at == lines_.size()) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

bool BlockListDocument::HasRow(const Text& kind, const Text& pattern) const {
    for (const auto& line : lines_) {
        if (line.type == BlockFileLine::Type::Addition && line.kind == kind &&
            EqualsIgnoreAsciiCase(line.pattern, pattern)) {
            return true;
        }
    }
    return false;
}

bool BlockListDocument::IsBuiltInRemoved(const Text& pattern) const {
    for (const auto& line : lines_) {
        if (line.type == BlockFileLine::Type::Removal && EqualsIgnoreAsciiCase(line.pattern, pattern)) return true;
    }
    return false;
}

void BlockListDocument::SetBuiltInRemoved(const Text& pattern, bool removed) {
    if (removed) {
        if (IsBuiltInRemoved(pattern)) return;
        BlockFileLine line;
        line.type = BlockFileLine::Type::Removal;
        line.pattern = pattern;
        lines_.push_back(std::move(line));
        return;
    }
    for (auto it = lines_.begin(); it != lines_.end();) {
        if (it->type == BlockFileLine::Type::Removal && EqualsIgnoreAsciiCase(it->pattern, pattern)) {
            it = lines_.erase(it);
        } else {
            ++it;
        }
    }
}

Text BlockListDocument::Serialize() const {
    // KestrixTray stops reading at a line it cannot take, so the lines it
    // cannot read go last: kept for the user, they no longer hide the rows
    // that followed them.
    Text text;
    for (const auto& line : lines_) {
        if (line.type == BlockFileLine::Type::Foreign) continue;
        if (!line.raw.empty()) {
            text += line.raw;
        } else if (line.type == BlockFileLine::Type::Removal) {
            text += FormatRemoval(line);
        } else {
            text += FormatAddition(line);
        }
        text += u"\r\n";
    }
    for (const auto& line : lines_) {
        if (line.type != BlockFileLine::Type::Foreign) continue;
        text += line.raw;
        text += u"\r\n";
    }
    return text;
}

std::vector<std::uint8_t> BlockListDocument::ToFileBytes() const {
    // UTF-16 LE with its byte-order mark.
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    const std::vector<std::uint8_t> text = Utf16LeBytes(Serialize());
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

}  // namespace kx
