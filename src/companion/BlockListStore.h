// Reading and saving the user's block-list file for the main program. A save
// never leaves a half-written file behind, and no crash at any moment leaves
// neither the file nor a backup: the text goes into a new file in the same
// folder, is flushed, and then replaces the old one with ReplaceFileW, which
// puts the old one aside under a backup name first.
#pragma once

#include <cstdint>
#include <vector>

#include "companion/BlockListDocument.h"
#include "platform/ClockApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

enum class BlockFileState {
    Missing,          // no file yet: the built-in rows only
    Read,             // read to its end and understood line by line
    Truncated,        // its text stops early (a NUL character, UTF-16 without a mark, an odd last byte):
                      // only the rows before that point are shown
    Utf8WithoutMark,  // unmarked text that is not ASCII but valid UTF-8, read in the ANSI code page
                      // as KestrixTray reads it
    Unreadable,       // there, but its text cannot be decoded or it is past what KestrixTray reads
    Busy,             // there, but it cannot be opened or read now: never to be overwritten
};

// A file read in any state but Read or Missing may hold more than the editor
// shows: the first save keeps it whole as the backup.
inline bool NeedsKeeping(BlockFileState state) {
    return state == BlockFileState::Truncated || state == BlockFileState::Utf8WithoutMark ||
           state == BlockFileState::Unreadable;
}

// What tells one version of the file from another: its size and its last
// write time (exists false when there is no file).
struct FileStamp {
    bool exists = false;
    std::int64_t size = 0;
    std::int64_t lastWriteTime = 0;
    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        return a.exists == b.exists && (!a.exists || (a.size == b.size && a.lastWriteTime == b.lastWriteTime));
    }
    friend bool operator!=(const FileStamp& a, const FileStamp& b) { return !(a == b); }
};

struct LoadedBlockList {
    BlockFileState state = BlockFileState::Missing;
    BlockListDocument document;
    FileStamp stamp;  // the file as it was read
};

enum class SaveResult {
    Saved,
    FolderFailed,  // the data folder is missing (setup makes it: repair the installation)
    WriteFailed,   // the new file cannot be created or written (rights, disk full)
    ReplaceFailed, // the old file could not be replaced (held open by another program)
    NotRead,       // the file was there but could not be read: saving would lose its rows
    Changed,       // another editor changed the file since it was read: load it again
    TooLarge,      // the list would be past what KestrixTray reads; the file is left as it was
    NotOwnFile,    // the new file turned out to be a link or another account's file: nothing was written
};

class BlockListStore {
public:
    BlockListStore(ISystemInfo& system, IFiles& files, IClock& clock) : system_(system), files_(files), clock_(clock) {}

    // Reads the file. A save that was cut short with nothing left under the
    // file's name (the old file already the backup) is undone first.
    LoadedBlockList Load(const Text& path);

    // Writes edited.document to path, which edited was read from. A save
    // never destroys a file the editor could not show whole: such a file is
    // kept as path + ".bak", which no later routine save overwrites; one it
    // could not open at all (Busy) is not replaced (NotRead: load it again
    // first). When the file changed since it was read, nothing is written
    // (Changed). A list past what KestrixTray reads is not written
    // (TooLarge). After a save, edited describes the new file. Never fails.
    SaveResult Save(const Text& path, LoadedBlockList& edited);

    FileStamp Stamp(const Text& path);

    // The files a save writes first begin with this, followed by sixteen
    // random hexadecimal digits: no account can know the name beforehand.
    static Text TemporaryPrefix(const Text& path) { return path + u".new-"; }
    // The file kept whole after a read that could not show it all.
    static Text BackupPath(const Text& path) { return path + u".bak"; }
    // Where the old file stands for the moment of a routine save's replace.
    static Text ReplacedPath(const Text& path) { return path + u".old"; }
    // Whether the data folder that holds path is there; the main program
    // never makes it.
    bool HasDataFolder(const Text& path);

private:
    bool EnsureFolder(const Text& folder);
    // Makes a new file of a fresh random name beside path and writes bytes
    // to it; *temporary is its name. Saved, WriteFailed or NotOwnFile.
    SaveResult WriteNewFile(const Text& path, const std::vector<std::uint8_t>& bytes, Text* temporary);
    // True when the file just made is a plain file of one link that this
    // account owns.
    bool IsOwnNewFile(KHandle file);
    // The temporary files of earlier saves that stand beside path.
    std::vector<Text> Temporaries(const Text& path);
    // ReplaceFileW, again for a moment while another program holds the file.
    std::uint32_t Replace(const Text& path, const Text& replacement, const Text& backup);
    void RestoreInterruptedSave(const Text& path);
    bool Exists(const Text& path) { return files_.GetFileAttributesW(path) != w32::kInvalidFileAttributes; }

    ISystemInfo& system_;
    IFiles& files_;
    IClock& clock_;
};

// The list as a window that only shows it holds it: read again only when the
// file's size or write time changed (or it could not be read last time).
class BlockListWatch {
public:
    explicit BlockListWatch(BlockListStore& store) : store_(store) {}
    // True when the file was read again.
    bool Refresh(const Text& path);
    const LoadedBlockList& List() const { return list_; }

private:
    BlockListStore& store_;
    bool read_ = false;
    Text path_;
    LoadedBlockList list_;
};

}  // namespace kx
