#include "companion/BlockListStore.h"

#include <algorithm>

#include "config/InputLimits.h"
#include "platform/Failure.h"
#include "config/StoredFile.h"
#include "config/TextRules.h"
#include "platform/AsciiCase.h"

namespace kx {

namespace {
constexpr std::uint32_t kShareReadWrite = 3;  // FILE_SHARE_READ | FILE_SHARE_WRITE
// KestrixTray holds the file for the time of one read; a replace that meets
// it waits a moment and tries again.
constexpr int kReplaceAttempts = 10;
constexpr std::uint32_t kReplacePauseMs = 100;
// New names tried when one is taken already (by chance, or planted).
constexpr int kNewFileAttempts = 4;
constexpr std::uint32_t kCodePageUtf8 = 65001;
// REPLACEFILE_IGNORE_MERGE_ERRORS: the new file need not take over every
// attribute of the old one (the data folder's inherited rights are enough).
constexpr std::uint32_t kReplaceIgnoreMergeErrors = 0x2;

// ReadTextLines ends the text at its first NUL character and drops an odd
// last byte of UTF-16: true when that leaves out anything but blanks.
bool DecodingStopsEarly(const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = bytes.size();
    const bool utf16le = n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool utf16be = n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    const bool utf8 = n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    if (!utf16le && !utf16be) {
        // ANSI and UTF-8: a NUL character is a zero byte, and every byte of
        // a character past code 127 is above 32.
        std::size_t i = utf8 ? 3 : 0;
        while (i < n && bytes[i] != 0) ++i;
        for (; i < n; ++i) {
            if (bytes[i] > 32) return true;
        }
        return false;
    }
    if ((n - 2) % 2 != 0) return true;
    bool ended = false;
    for (std::size_t i = 2; i + 1 < n; i += 2) {
        const unsigned unit = utf16le ? (bytes[i] | (bytes[i + 1] << 8)) : ((bytes[i] << 8) | bytes[i + 1]);
        if (unit == 0) ended = true;
        else if (ended && unit > 32) return true;
    }
    return false;
}

// Text without a byte-order mark that is not plain ASCII but reads as strict
// UTF-8: most likely saved by an editor in UTF-8, which the ANSI code page
// misreads (unless the system's ANSI code page is UTF-8 itself).
bool LooksLikeUnmarkedUtf8(const std::vector<std::uint8_t>& bytes, ISystemInfo& system) {
    const std::size_t n = bytes.size();
    if ((n >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) ||
        (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)) {
        return false;
    }
    bool ascii = true;
    for (std::uint8_t b : bytes) ascii = ascii && b < 0x80;
    if (ascii || system.GetACP() == kCodePageUtf8) return false;
    std::vector<std::uint8_t> marked(bytes.size() + 3);
    marked[0] = 0xEF;
    marked[1] = 0xBB;
    marked[2] = 0xBF;
    std::copy(bytes.begin(), bytes.end(), marked.begin() + 3);
    try {
        DecodeStoredText(marked, system);
        return true;
    } catch (...) {
        return false;
    }
}

bool RetriesReplace(std::uint32_t error) {
    // Another program holds the file for a moment (KestrixTray reads it
    // without sharing deletion); both files still stand under their names.
    return error == w32::kErrorSharingViolation || error == w32::kErrorLockViolation ||
           error == static_cast<std::uint32_t>(w32::kErrorAccessDenied) ||
           error == w32::kErrorUnableToRemoveReplaced || error == w32::kErrorUnableToMoveReplacement;
}

}  // namespace

FileStamp BlockListStore::Stamp(const Text& path) {
    FileStamp stamp;
    FileAttributeData data;
    if (!files_.GetFileAttributesExW(path, &data)) return stamp;
    stamp.exists = true;
    stamp.size = data.size;
    stamp.lastWriteTime = data.lastWriteTime;
    return stamp;
}

std::vector<Text> BlockListStore::Temporaries(const Text& path) {
    std::vector<Text> found;
    const auto slash = path.rfind(u'\\');
    if (slash == Text::npos) return found;
    std::vector<Text> names;
    if (!files_.FindFiles(TemporaryPrefix(path) + u"*", &names)) return found;
    // The pattern's wildcard also matches short names: only the long ones of
    // the exact prefix are the saves' own.
    const Text prefix = TemporaryPrefix(path).substr(slash + 1);
    for (const Text& name : names) {
        if (name.size() > prefix.size() && EqualsIgnoreAsciiCase(name.substr(0, prefix.size()), prefix)) {
            found.push_back(path.substr(0, slash + 1) + name);
        }
    }
    return found;
}

void BlockListStore::RestoreInterruptedSave(const Text& path) {
    // A replace that got only halfway leaves the old file under a backup name,
    // the new one under its temporary name, and nothing under the file's own.
    if (Exists(path)) return;
    const std::vector<Text> temporaries = Temporaries(path);
    if (temporaries.empty()) return;
    for (const Text& backup : {ReplacedPath(path), BackupPath(path)}) {
        if (Exists(backup) && files_.MoveFileExW(backup, path, w32::kMoveFileWriteThrough)) {
            for (const Text& temporary : temporaries) files_.DeleteFileW(temporary);
            return;
        }
    }
}

LoadedBlockList BlockListStore::Load(const Text& path) {
    LoadedBlockList loaded;
    try {
        RestoreInterruptedSave(path);
        // Taken before reading: a change made while the file is read shows as a change at the save.
        loaded.stamp = Stamp(path);
        if (!loaded.stamp.exists) return loaded;
        std::vector<std::uint8_t> bytes;
        // Reading shares writing, so a file another program writes is still shown.
        switch (ReadWholeFile(files_, path, kShareReadWrite, kMaxBlockListFileBytes, &bytes)) {
            case FileRead::Read: break;
            case FileRead::TooLarge: loaded.state = BlockFileState::Unreadable; return loaded;
            case FileRead::CannotOpen:
            case FileRead::CannotRead: loaded.state = BlockFileState::Busy; return loaded;
        }
        // Past what KestrixTray reads, the file holds no list for it. The caps
        // apply as the lines are cut, and blank lines are not kept, so a file
        // of nothing but line breaks costs no more than its text.
        std::vector<Text> lines;
        if (!VisitBlockListRows(DecodeStoredText(bytes, system_),
                                [&lines](std::u16string_view line) { lines.emplace_back(line); })) {
            loaded.state = BlockFileState::Unreadable;
            return loaded;
        }
        loaded.document = BlockListDocument::FromLines(lines);
        lines = {};
        loaded.state = DecodingStopsEarly(bytes)              ? BlockFileState::Truncated
                       : LooksLikeUnmarkedUtf8(bytes, system_) ? BlockFileState::Utf8WithoutMark
                                                                : BlockFileState::Read;
    } catch (...) {
        loaded.document = BlockListDocument();
        loaded.state = BlockFileState::Unreadable;
    }
    return loaded;
}

bool BlockListStore::EnsureFolder(const Text& folder) {
    // Setup makes the data folder with the rights every account needs; one
    // made here, as this account, would be refused by the next installation.
    if (folder.empty()) return false;
    const std::uint32_t attributes = files_.GetFileAttributesW(folder);
    return attributes != w32::kInvalidFileAttributes && (attributes & w32::kFileAttributeDirectory) != 0;
}

bool BlockListStore::HasDataFolder(const Text& path) {
    const auto slash = path.rfind(u'\\');
    return slash != Text::npos && EnsureFolder(path.substr(0, slash));
}

SaveResult BlockListStore::WriteNewFile(const Text& path, const std::vector<std::uint8_t>& bytes, Text* temporary) {
    // The folder is one every account may add files to. A fresh random name,
    // made only if nothing stands there (CREATE_NEW) and never through a
    // link, is one no other account can have planted; and what the handle
    // then holds is checked before a byte is written.
    OwnedFile file(files_, 0);
    for (int attempt = 0; attempt < kNewFileAttempts && !file; ++attempt) {
        std::uint8_t random[8] = {};
        if (!system_.GenerateRandom(random, sizeof random)) return SaveResult::WriteFailed;
        Text name = TemporaryPrefix(path);
        for (const std::uint8_t b : random) {
            name.push_back(u"0123456789abcdef"[b >> 4]);
            name.push_back(u"0123456789abcdef"[b & 15]);
        }
        file = OwnedFile(files_, files_.CreateFileW(name, w32::kGenericWrite | w32::kFileReadAttributes | w32::kReadControl,
                                                    0, w32::kCreateNew,
                                                    w32::kFileAttributeNormal | w32::kFileFlagOpenReparsePoint));
        *temporary = name;
    }
    if (!file) return SaveResult::WriteFailed;
    if (!IsOwnNewFile(file.get())) {
        file.reset();
        // Only the name goes: a link's target, or a file's other names, stay as they are.
        files_.DeleteFileW(*temporary);
        return SaveResult::NotOwnFile;
    }
    std::uint32_t done = 0;
    const bool written = files_.WriteFile(file.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &done) &&
                         done == bytes.size() && files_.FlushFileBuffers(file.get());
    file.reset();
    if (written) return SaveResult::Saved;
    files_.DeleteFileW(*temporary);
    return SaveResult::WriteFailed;
}

bool BlockListStore::IsOwnNewFile(KHandle file) {
    FileIdentity identity;
    Text owner;
    if (!files_.GetFileInformationByHandle(file, &identity) || !files_.GetFileOwner(file, &owner)) return false;
    const std::vector<Text> owners = files_.CurrentOwners();
    return (identity.attributes & w32::kFileAttributeReparsePoint) == 0 && identity.numberOfLinks == 1 &&
           std::find(owners.begin(), owners.end(), owner) != owners.end();
}

std::uint32_t BlockListStore::Replace(const Text& path, const Text& replacement, const Text& backup) {
    std::uint32_t error = 0;
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (attempt != 0) clock_.Sleep(kReplacePauseMs);
        error = files_.ReplaceFileW(path, replacement, backup, kReplaceIgnoreMergeErrors);
        if (!RetriesReplace(error)) return error;
    }
    return error;
}

SaveResult BlockListStore::Save(const Text& path, LoadedBlockList& edited) {
    if (edited.state == BlockFileState::Busy) return SaveResult::NotRead;
    try {
        const auto slash = path.rfind(u'\\');
        if (slash == Text::npos || !EnsureFolder(path.substr(0, slash))) return SaveResult::FolderFailed;
        RestoreInterruptedSave(path);
        // Another editor (another account, a window left open) saved meanwhile:
        // its rows are not overwritten; the caller shows the file as it now stands.
        const FileStamp now = Stamp(path);
        if (now != edited.stamp) return SaveResult::Changed;

        // Checked on the lines as KestrixTray will cut them from the bytes written.
        const std::vector<std::uint8_t> bytes = edited.document.ToFileBytes();
        if (bytes.size() > static_cast<std::uint64_t>(kMaxBlockListFileBytes) ||
            !VisitBlockListRows(DecodeStoredText(bytes, system_), nullptr)) {
            return SaveResult::TooLarge;
        }

        Text temporary;
        const SaveResult written = WriteNewFile(path, bytes, &temporary);
        if (written != SaveResult::Saved) return written;
        if (!now.exists) {
            // The first save: nothing to replace. Without replacing, so that a
            // file another editor made meanwhile is not overwritten.
            if (!files_.MoveFileExW(temporary, path, w32::kMoveFileWriteThrough)) {
                files_.DeleteFileW(temporary);
                return Exists(path) ? SaveResult::Changed : SaveResult::ReplaceFailed;
            }
        } else {
            // A file the editor could not show whole stays as the backup; a
            // routine save keeps the old file aside only for the moment of
            // the replace, and never touches that backup.
            const bool keep = NeedsKeeping(edited.state);
            const Text backup = keep ? BackupPath(path) : ReplacedPath(path);
            const std::uint32_t error = Replace(path, temporary, backup);
            if (error == w32::kErrorUnableToMoveReplacement2) {
                // Only the backup is left: the next load puts it back.
                return SaveResult::ReplaceFailed;
            }
            if (error != 0) {
                files_.DeleteFileW(temporary);
                return SaveResult::ReplaceFailed;
            }
            if (!keep) files_.DeleteFileW(backup);
        }
        edited.state = BlockFileState::Read;
        edited.stamp = Stamp(path);
        return SaveResult::Saved;
    } catch (...) {
        return SaveResult::WriteFailed;
    }
}

bool BlockListWatch::Refresh(const Text& path) {
    if (read_ && path == path_ && list_.state != BlockFileState::Busy && store_.Stamp(path) == list_.stamp) {
        return false;
    }
    list_ = store_.Load(path);
    path_ = path;
    read_ = true;
    return true;
}

}  // namespace kx
