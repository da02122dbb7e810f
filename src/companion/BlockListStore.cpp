#include "companion/BlockListStore.h"

#include "platform/Failure.h"
#include "config/StoredFile.h"
#include "config/TextRules.h"
#include "engine/BlockList.h"

namespace kx {

namespace {
constexpr std::uint32_t kShareReadWrite = 3;  // FILE_SHARE_READ | FILE_SHARE_WRITE
// KestrixTray holds the file for the time of one read; a replace that meets
// it waits a moment and tries again.
constexpr int kReplaceAttempts = 10;
constexpr std::uint32_t kReplacePauseMs = 100;
}  // namespace

LoadedBlockList BlockListStore::Load(const Text& path) {
    LoadedBlockList loaded;
    try {
        if (files_.GetFileAttributesW(path) == w32::kInvalidFileAttributes) return loaded;
        std::vector<std::uint8_t> bytes;
        // Reading shares writing, so a file another program writes is still shown.
        switch (ReadWholeFile(files_, path, kShareReadWrite, kMaxBlockListFileSize, &bytes)) {
            case FileRead::Read: break;
            case FileRead::TooLarge: loaded.state = BlockFileState::Unreadable; return loaded;
            case FileRead::CannotOpen:
            case FileRead::CannotRead: loaded.state = BlockFileState::Busy; return loaded;
        }
        loaded.document = BlockListDocument::FromLines(ReadTextLines(bytes, system_));
        loaded.state = BlockFileState::Read;
    } catch (...) {
        loaded.document = BlockListDocument();
        loaded.state = BlockFileState::Unreadable;
    }
    return loaded;
}

bool BlockListStore::EnsureFolder(const Text& folder) {
    if (folder.empty()) return false;
    const std::uint32_t attributes = files_.GetFileAttributesW(folder);
    if (attributes != w32::kInvalidFileAttributes) return (attributes & w32::kFileAttributeDirectory) != 0;
    const auto slash = folder.rfind(u'\\');
    // "C:" or "\\server\share" end the climb; creating them is not ours to do.
    if (slash != Text::npos && slash > 2 && !EnsureFolder(folder.substr(0, slash))) return false;
    return files_.CreateDirectoryW(folder) ||
           (files_.GetFileAttributesW(folder) & w32::kFileAttributeDirectory) != 0;
}

bool BlockListStore::WriteNewFile(const Text& path, const std::vector<std::uint8_t>& bytes) {
    bool written = false;
    {
        OwnedFile file(files_, files_.CreateFileW(path, w32::kGenericWrite, 0, w32::kCreateAlways));
        if (!file) return false;
        std::uint32_t done = 0;
        written = files_.WriteFile(file.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &done) &&
                  done == bytes.size() && files_.FlushFileBuffers(file.get());
    }
    if (!written) files_.DeleteFileW(path);
    return written;
}

bool BlockListStore::Replace(const Text& from, const Text& to) {
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (attempt != 0) clock_.Sleep(kReplacePauseMs);
        if (files_.MoveFileExW(from, to, w32::kMoveFileReplaceExisting | w32::kMoveFileWriteThrough)) return true;
    }
    return false;
}

SaveResult BlockListStore::Save(const Text& path, const BlockListDocument& document, BlockFileState loadedFrom) {
    if (loadedFrom == BlockFileState::Busy) return SaveResult::NotRead;
    const bool keepUnreadable = loadedFrom == BlockFileState::Unreadable;
    try {
        const auto slash = path.rfind(u'\\');
        if (slash == Text::npos || !EnsureFolder(path.substr(0, slash))) return SaveResult::FolderFailed;
        const Text temporary = TemporaryPath(path);
        if (!WriteNewFile(temporary, document.ToFileBytes())) return SaveResult::WriteFailed;
        if (keepUnreadable && files_.GetFileAttributesW(path) != w32::kInvalidFileAttributes &&
            !Replace(path, BackupPath(path))) {
            // The old file goes aside whole before the new one takes its place, or nothing happens.
            files_.DeleteFileW(temporary);
            return SaveResult::ReplaceFailed;
        }
        if (!Replace(temporary, path)) {
            files_.DeleteFileW(temporary);
            return SaveResult::ReplaceFailed;
        }
        return SaveResult::Saved;
    } catch (...) {
        return SaveResult::WriteFailed;
    }
}

}  // namespace kx
