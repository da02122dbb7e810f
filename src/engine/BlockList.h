// The block list: the windows that are never accelerated. Eighteen rows are
// built in; the user's file (written by the main program) takes built-in rows
// away and adds rows of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "config/Settings.h"
#include "platform/ShellApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

struct BlockRow {
    Text origin;       // "*" built in, "+" from the user's file
    Text kind;         // "0" class key, "1" caption, "2" image path; any other never matches
    Text pattern;      // looked for anywhere in the chosen text, ASCII letters folded; empty never matches
    Text description;  // for people only

    friend bool operator==(const BlockRow& a, const BlockRow& b) {
        return a.origin == b.origin && a.kind == b.kind && a.pattern == b.pattern && a.description == b.description;
    }
};

// The eighteen built-in rows, in their fixed order.
const std::vector<BlockRow>& DefaultBlockRows();

// A file larger than this is not a block list: it counts as unreadable.
constexpr std::int64_t kMaxBlockListFileSize = 16 * 1024 * 1024;

class BlockList {
public:
    BlockList(ISystemInfo& system, IFiles& files) : system_(system), files_(files) {}

    // Builds a new list from the built-in rows and the file at path. A file
    // that cannot be opened, read or decoded leaves the built-in rows only;
    // a malformed line ends the reading there. Never fails.
    void LoadBlockList(const Text& path);
    // Releases the list; until the next load nothing is blocked.
    void FreeBlockList();
    // True when a row matches: kind "0" in the class key, "1" in the caption,
    // "2" in the image path. Never fails.
    bool IsBlocked(const Text& caption, const Text& classKey, const Text& imagePath) const;

    bool HasList() const { return hasList_; }
    // The working rows in order (built-in rows left, then the user's rows).
    std::vector<BlockRow> Rows() const;

private:
    enum class Subject : std::uint8_t { None, ClassKey, Caption, ImagePath };
    struct Entry {
        BlockRow row;
        Subject subject;    // from the kind, decided once
        Text foldedPattern;  // the pattern with a-z changed to A-Z, folded once
    };
    static Entry MakeEntry(BlockRow row);
    // Applies the file's lines to entries_; stops at a malformed line.
    void ApplyLines(const std::vector<Text>& lines);

    ISystemInfo& system_;
    IFiles& files_;
    bool hasList_ = false;
    std::vector<Entry> entries_;
    // The three subjects of the last IsBlocked call, folded; kept so that a
    // call allocates nothing once they have grown to size (UI thread only).
    mutable Text foldedCaption_;
    mutable Text foldedClassKey_;
    mutable Text foldedImagePath_;
};

// Stage 2 of the main cycle: when the main program has set ReloadList, the
// list is rebuilt from the file at BlockListPath and the flag is cleared,
// whether or not the file could be read. Never fails.
void BlockListReloadStage(BlockList& list, const SettingsStore& settings, ISystemInfo& system, IShell& shell);

}  // namespace kx
