#include "engine/BlockList.h"

#include <algorithm>

#include "config/InputLimits.h"
#include "platform/AsciiCase.h"
#include "platform/Failure.h"
#include "config/StoredFile.h"
#include "config/TextRules.h"
#include "config/WindowsVersion.h"
#include "platform/Owned.h"

namespace kx {

const std::vector<BlockRow>& DefaultBlockRows() {
    static const std::vector<BlockRow> rows = {
        {u"*", u"0", u"#BasicWindow", u"Windows sidebar small preview window"},
        {u"*", u"0", u"#BOINC", u"Berkeley Open Infrastructure for Network Computing"},
        {u"*", u"0", u"#ConsoleWindowClass", u"Windows command prompt and powershell"},
        {u"*", u"0", u"#Flip3D", u"Windows Vista and Windows 7 flip 3D"},
        {u"*", u"0", u"#HelpPane", u"Windows XML help file window"},
        {u"*", u"0", u"#HH Parent", u"Windows HTML help file window"},
        {u"*", u"0", u"#MMCMainFrame", u"Microsoft Management Console"},
        {u"*", u"0", u"#PagePlus", u"Serif PagePlus publishing software"},
        {u"*", u"0", u"#Regedit_Regedit", u"Windows registry editor"},
        {u"*", u"0", u"#Sidebar", u"Windows sidebar and gadgets"},
        {u"*", u"1", u"Page Setup", u"Windows page setup window"},
        {u"*", u"1", u"Kestrix", u"Kestrix application and sub-windows"},
        {u"*", u"1", u"Print", u"Windows print window"},
        {u"*", u"2", u"explorer.exe", u"Windows system tasks and explorer"},
        {u"*", u"2", u"fsx.exe", u"Microsoft Flight Simulator X"},
        {u"*", u"2", u"rundll32.exe", u"Windows rundll system processes"},
        {u"*", u"2", u"sndvol.exe", u"Windows sound and volume pane"},
        {u"*", u"2", u"taskmgr.exe", u"Windows task manager window"},
    };
    return rows;
}

BlockList::Entry BlockList::MakeEntry(BlockRow row) {
    Entry entry;
    // The kind is compared as exact text: " 1" or "01" never matches.
    if (row.kind == u"0") {
        entry.subject = Subject::ClassKey;
    } else if (row.kind == u"1") {
        entry.subject = Subject::Caption;
    } else if (row.kind == u"2") {
        entry.subject = Subject::ImagePath;
    } else {
        entry.subject = Subject::None;
    }
    entry.row = std::move(row);
    return entry;
}

std::vector<BlockList::Entry> BlockList::BuiltInEntries() {
    std::vector<Entry> entries;
    entries.reserve(DefaultBlockRows().size());
    for (const BlockRow& row : DefaultBlockRows()) entries.push_back(MakeEntry(row));
    return entries;
}

void BlockList::ApplyLines(std::u16string_view text, std::vector<Entry>* entries) {
    // The built-in rows left always stand first: removals take only them
    // away and additions go to the end, so a removal looks at these alone.
    std::size_t builtIns = entries->size();
    VisitTextLines(text, [&](std::u16string_view line) {
        if (IsBlankLine(line)) return true;
        // No line is read beyond its fourth field.
        const std::vector<Text> fields = SplitCommaText(line, 4);
        if (fields.empty()) return true;
        if (fields[0] == u"-") {
            // A removal names a built-in pattern; the kind plays no part, and
            // rows from the file are never removed.
            if (builtIns == 0) return true;
            if (fields.size() < 2) return false;  // malformed: the reading ends here
            const auto builtInEnd = entries->begin() + static_cast<std::ptrdiff_t>(builtIns);
            const auto kept = std::remove_if(entries->begin(), builtInEnd, [&fields](const Entry& e) {
                return EqualsIgnoreAsciiCase(e.row.pattern, fields[1]);
            });
            builtIns = static_cast<std::size_t>(kept - entries->begin());
            entries->erase(kept, builtInEnd);
            return true;
        }
        if (fields.size() < 4) return false;  // malformed: the reading ends here
        // Whatever the first field says, a row from the file is the user's.
        entries->push_back(MakeEntry(BlockRow{u"+", fields[1], fields[2], fields[3]}));
        return true;
    });
}

void BlockList::Trace(std::string_view what) const {
    if (trace_ != nullptr) trace_->Line("blocklist", what);
}

BlockListLoad BlockList::ReadFileInto(const Text& path, std::vector<Entry>* entries) {
    // The size and time are taken before the reading, so a change made while
    // it runs is seen as a change afterwards.
    FileAttributeData found;
    if (!files_.GetFileAttributesExW(path, &found)) found = FileAttributeData{};
    if ((found.attributes & w32::kFileAttributeDirectory) != 0) return BlockListLoad::Unreadable;
    loadedFile_ = found;
    // Other programs may read the file meanwhile but not write it.
    std::vector<std::uint8_t> bytes;
    switch (ReadWholeFile(files_, path, w32::kFileShareRead, static_cast<std::int64_t>(kMaxBlockListFileBytes), &bytes)) {
        case FileRead::Read: break;
        case FileRead::CannotOpen:
            // Another program (the main program saving it) holds it; a file
            // that is gone by now is simply missing.
            if (!files_.GetFileAttributesExW(path, &found)) return BlockListLoad::Missing;
            Trace("the block-list file is held by another program; the rows loaded before stay");
            return BlockListLoad::Busy;
        case FileRead::TooLarge:
            Trace("the block-list file is larger than its cap; only the built-in rows apply");
            return BlockListLoad::Unreadable;
        case FileRead::CannotRead:
            Trace("the block-list file cannot be read; only the built-in rows apply");
            return BlockListLoad::Unreadable;
    }
    Text text;
    try {
        text = DecodeStoredText(bytes, system_);
    } catch (const Failure&) {
        Trace("the block-list file is not valid UTF-8; only the built-in rows apply");
        return BlockListLoad::Unreadable;
    }
    bytes = {};
    // A file whose lines or rows go past the caps is not a block list any
    // account should be able to make the tray pay for: it counts as unreadable.
    if (!VisitBlockListRows(text, nullptr)) {
        Trace("the block-list file has a line or rows past its caps; only the built-in rows apply");
        return BlockListLoad::Unreadable;
    }
    ApplyLines(text, entries);
    return BlockListLoad::Read;
}

void BlockList::ApplyPolicyLines(const PolicyRows& rows, std::vector<Entry>* entries) const {
    if (rows.overCap) Trace("the BlockRows policy is past the block-list caps; none of its rows applies");
    for (const Text& line : rows.lines) {
        if (IsBlankLine(line)) continue;
        const std::vector<Text> fields = SplitCommaText(line, 4);
        if (fields.empty() || fields[0] == u"-") continue;  // a policy adds rows, it takes none away
        if (fields.size() < 4) {
            Trace("the BlockRows policy has a malformed line; the rows after it do not apply");
            return;
        }
        entries->push_back(MakeEntry(BlockRow{u"P", fields[1], fields[2], fields[3]}));
    }
}

void BlockList::BuildMatchers() {
    std::vector<const Text*> classKeys;
    std::vector<const Text*> captions;
    std::vector<const Text*> imagePaths;
    for (const Entry& entry : entries_) {
        switch (entry.subject) {
            case Subject::ClassKey: classKeys.push_back(&entry.row.pattern); break;
            case Subject::Caption: captions.push_back(&entry.row.pattern); break;
            case Subject::ImagePath: imagePaths.push_back(&entry.row.pattern); break;
            case Subject::None: break;
        }
    }
    classKeyPatterns_.Build(classKeys);
    captionPatterns_.Build(captions);
    imagePathPatterns_.Build(imagePaths);
}

BlockListLoad BlockList::LoadBlockList(const Text& path, const PolicyRows& policyRows) {
    BlockListLoad result = BlockListLoad::Unreadable;
    std::vector<Entry> entries;
    try {
        loadedFile_ = FileAttributeData{};
        entries = BuiltInEntries();
        result = ReadFileInto(path, &entries);
        // A busy file is tried again by the reload stage, asked for or not.
        reload_.retryPending = result == BlockListLoad::Busy;
        if (result == BlockListLoad::Busy && hasList_) return result;
        if (result != BlockListLoad::Read) entries = BuiltInEntries();
        ApplyPolicyLines(policyRows, &entries);
    } catch (...) {
        // Whatever was applied before the failure stays.
    }
    FreeBlockList();
    entries_ = std::move(entries);
    hasList_ = true;
    try {
        BuildMatchers();
    } catch (...) {
        // No memory for the automata of these rows: the built-in rows, whose are small.
        Trace("the block-list file's rows could not be prepared for matching; only the built-in rows apply");
        try {
            entries_ = BuiltInEntries();
            BuildMatchers();
        } catch (...) {
            FreeBlockList();
        }
    }
    return result;
}

void BlockList::FreeBlockList() {
    entries_.clear();
    entries_.shrink_to_fit();
    classKeyPatterns_.Clear();
    captionPatterns_.Clear();
    imagePathPatterns_.Clear();
    hasList_ = false;
    lastValid_ = false;
}

bool BlockList::BlockingRow(const Text& caption, const Text& classKey, const Text& imagePath, BlockRow* row) const {
    try {
        if (!hasList_ || row == nullptr) return false;
        // The automata tell where in each text the first occurrence ends; a
        // row whose pattern ends there is one that blocks. Each row is then
        // compared once, at that one place, so naming the row costs no more
        // than the rows' own length, whatever the texts hold.
        const Text* subjects[] = {&classKey, &caption, &imagePath};
        const PatternSet* sets[] = {&classKeyPatterns_, &captionPatterns_, &imagePathPatterns_};
        std::size_t ends[3];
        bool any = false;
        for (int k = 0; k < 3; ++k) {
            ends[k] = sets[k]->FirstMatchEnd(*subjects[k]);
            any = any || ends[k] != Text::npos;
        }
        if (!any) return false;
        for (const Entry& entry : entries_) {
            if (entry.subject == Subject::None) continue;
            const int k = static_cast<int>(entry.subject) - static_cast<int>(Subject::ClassKey);
            const Text& pattern = entry.row.pattern;
            if (ends[k] == Text::npos || pattern.empty() || pattern.size() > ends[k] + 1) continue;
            const std::size_t start = ends[k] + 1 - pattern.size();
            bool same = true;
            for (std::size_t i = 0; same && i < pattern.size(); ++i) {
                same = FoldAsciiUpper((*subjects[k])[start + i]) == FoldAsciiUpper(pattern[i]);
            }
            if (same) {
                *row = entry.row;
                return true;
            }
        }
    } catch (...) {
    }
    return false;
}

bool BlockList::IsBlocked(const Text& caption, const Text& classKey, const Text& imagePath) const {
    try {
        if (!hasList_ || entries_.empty()) return false;
        if (lastValid_ && caption == lastCaption_ && classKey == lastClassKey_ && imagePath == lastImagePath_) {
            return lastResult_;
        }
        lastValid_ = false;
        // Each row's kind chose its automaton, so one pass over each subject
        // tells whether any row of that kind matches; no row's answer
        // depends on another's.
        const bool result = captionPatterns_.FoundIn(caption) || classKeyPatterns_.FoundIn(classKey) ||
                            imagePathPatterns_.FoundIn(imagePath);
        lastCaption_.assign(caption);
        lastClassKey_.assign(classKey);
        lastImagePath_.assign(imagePath);
        lastResult_ = result;
        lastValid_ = true;
        return result;
    } catch (...) {
        return false;
    }
}

std::vector<BlockRow> BlockList::Rows() const {
    std::vector<BlockRow> rows;
    rows.reserve(entries_.size());
    for (const Entry& entry : entries_) rows.push_back(entry.row);
    return rows;
}

void BlockListReloadStage(BlockList& list, const SettingsStore& settings, ISystemInfo& system, IShell& shell) {
    try {
        BlockList::ReloadState& state = list.Reload();
        const bool requested = settings.RegReadBool(u"ReloadList", false);
        if (!requested && !state.retryPending) return;
        const Text path = BlockListPath(system, shell);
        if (requested && !state.retryPending && state.clearRefused) {
            // The flag stays set whatever is done, so it says nothing new:
            // only a change of the file itself is worth a rebuild.
            FileAttributeData now;
            if (!list.Files().GetFileAttributesExW(path, &now)) now = FileAttributeData{};
            if (now == list.LoadedFile()) {
                // The list is as the file stands; the flag is cleared once the key lets it be.
                state.clearRefused = !settings.RegWriteBool(u"ReloadList", false);
                return;
            }
        }
        if (list.LoadBlockList(path, settings.Policies().BlockRows()) == BlockListLoad::Busy || !requested) return;  // the request stays pending
        state.clearRefused = !settings.RegWriteBool(u"ReloadList", false);
    } catch (...) {
        // The stage never fails; a flag left set brings the rebuild back next tick.
    }
}

}  // namespace kx
