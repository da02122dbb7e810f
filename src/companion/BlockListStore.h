// Reading and saving the user's block-list file for the main program. A save
// never leaves a half-written file behind: the text goes into a new file in
// the same folder, is flushed, and then replaces the old one in one move.
#pragma once

#include <cstdint>
#include <vector>

#include "companion/BlockListDocument.h"
#include "platform/ClockApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

enum class BlockFileState {
    Missing,     // no file yet: the built-in rows only
    Read,        // read and understood line by line
    Unreadable,  // there, but its text cannot be decoded (or it is far too large)
    Busy,        // there, but it cannot be opened or read now: never to be overwritten
};

struct LoadedBlockList {
    BlockFileState state = BlockFileState::Missing;
    BlockListDocument document;
};

enum class SaveResult {
    Saved,
    FolderFailed,  // the data folder is missing (setup makes it: repair the installation)
    WriteFailed,   // the new file cannot be created or written (rights, disk full)
    ReplaceFailed, // the old file could not be replaced (held open by another program)
    NotRead,       // the file was there but could not be read: saving would lose its rows
};

class BlockListStore {
public:
    BlockListStore(ISystemInfo& system, IFiles& files, IClock& clock) : system_(system), files_(files), clock_(clock) {}

    LoadedBlockList Load(const Text& path);

    // Writes document, read from path in state loadedFrom, to path. A save
    // never destroys a file the editor could not show: one it could not
    // decode is first kept whole as path + ".bak"; one it could not open at
    // all (Busy) is not replaced (NotRead: load it again first). Never fails.
    SaveResult Save(const Text& path, const BlockListDocument& document,
                    BlockFileState loadedFrom = BlockFileState::Read);

    // The file a save writes first.
    static Text TemporaryPath(const Text& path) { return path + u".new"; }
    static Text BackupPath(const Text& path) { return path + u".bak"; }
    // Whether the data folder that holds path is there; the main program
    // never makes it.
    bool HasDataFolder(const Text& path);

private:
    bool EnsureFolder(const Text& folder);
    bool WriteNewFile(const Text& path, const std::vector<std::uint8_t>& bytes);
    bool Replace(const Text& from, const Text& to);

    ISystemInfo& system_;
    IFiles& files_;
    IClock& clock_;
};

}  // namespace kx
