// The block list: the windows that are never accelerated. Eighteen rows are
// built in; the user's file (written by the main program) takes built-in rows
// away and adds rows of its own.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "config/InputLimits.h"
#include "config/Policies.h"
#include "config/Settings.h"
#include "engine/PatternSet.h"
#include "platform/DebugApi.h"
#include "platform/ShellApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

struct BlockRow {
    Text origin;       // "*" built in, "+" from the user's file, "P" from a policy
    Text kind;         // "0" class key, "1" caption, "2" image path; any other never matches
    Text pattern;      // looked for anywhere in the chosen text, ASCII letters folded; empty never matches
    Text description;  // for people only

    friend bool operator==(const BlockRow& a, const BlockRow& b) {
        return a.origin == b.origin && a.kind == b.kind && a.pattern == b.pattern && a.description == b.description;
    }
};

// The eighteen built-in rows, in their fixed order.
const std::vector<BlockRow>& DefaultBlockRows();


// What a load of the block-list file found.
enum class BlockListLoad : std::uint8_t {
    Read,        // the file's lines were applied (up to a malformed line)
    Missing,     // no file: the built-in rows
    Unreadable,  // unreadable, undecodable or past a cap: the built-in rows
    Busy,        // there, but another program holds it: the rows loaded before stay
};

class BlockList {
public:
    // trace, when given, receives a line for each load that could not use the file.
    BlockList(ISystemInfo& system, IFiles& files, DebugTrace* trace = nullptr)
        : system_(system), files_(files), trace_(trace) {}

    // Builds a new list from the built-in rows and the file at path. A file
    // that is missing, cannot be read or decoded, or goes past one of the
    // caps of InputLimits.h leaves the built-in rows only; a malformed line
    // ends the reading there. A file that is there but cannot be opened for
    // the moment keeps the rows loaded before (the built-in rows when there
    // were none). Never fails.
    // policyRows (the organisation's BlockRows) follow the user's rows
    // whatever the file held; a removal line among them is skipped, and a
    // malformed one ends them.
    BlockListLoad LoadBlockList(const Text& path, const PolicyRows& policyRows = {});
    // Releases the list; until the next load nothing is blocked.
    void FreeBlockList();
    // True when a row matches: kind "0" in the class key, "1" in the caption,
    // "2" in the image path. Never fails.
    bool IsBlocked(const Text& caption, const Text& classKey, const Text& imagePath) const;
    // The first row that matches, for telling the user which one blocked a
    // window; false when none does. Never fails.
    bool BlockingRow(const Text& caption, const Text& classKey, const Text& imagePath, BlockRow* row) const;

    bool HasList() const { return hasList_; }
    // Size and write time of the file the list was last read from, taken
    // before the reading; all zero when there was no file.
    const FileAttributeData& LoadedFile() const { return loadedFile_; }

    // Kept for the reload stage between ticks.
    struct ReloadState {
        bool retryPending = false;  // the last load found the file busy
        bool clearRefused = false;  // ReloadList could not be cleared after the last load
    };
    ReloadState& Reload() { return reload_; }
    IFiles& Files() { return files_; }
    // The working rows in order (built-in rows left, then the user's rows).
    std::vector<BlockRow> Rows() const;

private:
    enum class Subject : std::uint8_t { None, ClassKey, Caption, ImagePath };
    struct Entry {
        BlockRow row;
        Subject subject;  // from the kind, decided once
    };
    static Entry MakeEntry(BlockRow row);
    static std::vector<Entry> BuiltInEntries();
    // Applies the text's lines to entries; stops at a malformed line.
    static void ApplyLines(std::u16string_view text, std::vector<Entry>* entries);
    void ApplyPolicyLines(const PolicyRows& rows, std::vector<Entry>* entries) const;
    BlockListLoad ReadFileInto(const Text& path, std::vector<Entry>* entries);

    void Trace(std::string_view what) const;
    // The automata of the three subjects, from entries_.
    void BuildMatchers();

    ISystemInfo& system_;
    IFiles& files_;
    DebugTrace* trace_;
    bool hasList_ = false;
    std::vector<Entry> entries_;
    FileAttributeData loadedFile_;
    ReloadState reload_;
    // The patterns of each subject's rows, one automaton each: a call costs
    // a step per character of its subjects, whatever the rows hold.
    PatternSet classKeyPatterns_;
    PatternSet captionPatterns_;
    PatternSet imagePathPatterns_;
    // The last call's subjects as given and its answer: while the focus stays
    // put the answer is known without reading the subjects again. Any load or
    // release forgets it.
    mutable bool lastValid_ = false;
    mutable bool lastResult_ = false;
    mutable Text lastCaption_;
    mutable Text lastClassKey_;
    mutable Text lastImagePath_;
};

// Stage 2 of the main cycle: when the main program has set ReloadList, the
// list is rebuilt from the file at BlockListPath and the flag is cleared,
// whether or not the file could be read. A file that another program holds
// at that moment keeps the rows loaded before, and the rebuild is tried
// again on the next ticks. While the flag cannot be cleared (the key refuses
// writes), the list is rebuilt only when the file's size or write time
// changed. Never fails.
void BlockListReloadStage(BlockList& list, const SettingsStore& settings, ISystemInfo& system, IShell& shell);

}  // namespace kx
