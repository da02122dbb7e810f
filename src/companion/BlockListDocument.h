// The user's block-list file as the main program edits it: the rows KestrixTray
// reads (additions and removals of built-in rows), and every line the editor
// does not understand, kept as it stands so that no row of the user is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace kx {

// Why a row cannot be written.
enum class RowProblem {
    None,
    BadKind,          // the kind is not "0", "1" or "2"
    EmptyPattern,     // an empty pattern never matches anything
    LineBreak,        // a CR, LF or NUL would cut the line when KestrixTray reads it
    TooLong,          // the row's line would be longer than KestrixTray reads
};

struct BlockFileLine {
    enum class Type : std::uint8_t {
        Addition,  // kind, pattern, description
        Removal,   // pattern of the built-in rows it takes away
        Foreign,   // a line KestrixTray would stop reading at; kept verbatim
    };
    Type type = Type::Addition;
    Text raw;  // the line as it was read; empty for a line the editor made or changed
    Text kind;
    Text pattern;
    Text description;
};

class BlockListDocument {
public:
    // The lines of an existing file (as ReadTextLines gives them).
    static BlockListDocument FromLines(const std::vector<Text>& lines);

    const std::vector<BlockFileLine>& Lines() const { return lines_; }

    // The user's rows (additions), in file order; the index is the one the
    // row functions below take.
    std::vector<const BlockFileLine*> UserRows() const;
    // Lines kept because KestrixTray could not read them.
    std::vector<Text> ForeignLines() const;

    static RowProblem CheckRow(const Text& kind, const Text& pattern, const Text& description);
    RowProblem AddRow(const Text& kind, const Text& pattern, const Text& description);
    RowProblem ChangeRow(std::size_t userRow, const Text& kind, const Text& pattern, const Text& description);
    bool DeleteRow(std::size_t userRow);
    // True when one of the user's rows already looks for pattern in the same
    // subject (ASCII letters folded), so that adding it again changes nothing.
    bool HasRow(const Text& kind, const Text& pattern) const;

    // A built-in row is taken away by a removal line naming its pattern,
    // compared with the ASCII letters folded, as KestrixTray compares them.
    bool IsBuiltInRemoved(const Text& pattern) const;
    void SetBuiltInRemoved(const Text& pattern, bool removed);

    // The file's text: the rows in order, then the foreign lines, each ended
    // by CR LF. Unchanged lines are written as they were read.
    Text Serialize() const;
    // UTF-16 little-endian with its byte-order mark.
    std::vector<std::uint8_t> ToFileBytes() const;

private:
    std::size_t LineOfUserRow(std::size_t userRow) const;

    std::vector<BlockFileLine> lines_;
};

// One value between double quotes, each double quote inside doubled, which
// SplitCommaText reads back as the value exactly.
Text QuoteBlockValue(const Text& value);

}  // namespace kx
