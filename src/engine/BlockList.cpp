#include "engine/BlockList.h"

#include <algorithm>

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
    AsciiUpperInto(row.pattern, &entry.foldedPattern);
    entry.row = std::move(row);
    return entry;
}

void BlockList::ApplyLines(const std::vector<Text>& lines) {
    for (const Text& line : lines) {
        if (Trim(line).empty()) continue;
        const std::vector<Text> fields = SplitCommaText(line);
        if (fields.empty()) continue;
        if (fields[0] == u"-") {
            // A removal names a built-in pattern; the kind plays no part, and
            // rows from the file are never removed.
            const bool anyBuiltIn = std::any_of(entries_.begin(), entries_.end(),
                                                [](const Entry& e) { return e.row.origin == u"*"; });
            if (!anyBuiltIn) continue;
            if (fields.size() < 2) return;  // malformed: the reading ends here
            Text folded;
            AsciiUpperInto(fields[1], &folded);
            entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                          [&folded](const Entry& e) {
                                              return e.row.origin == u"*" && e.foldedPattern == folded;
                                          }),
                           entries_.end());
        } else {
            if (fields.size() < 4) return;  // malformed: the reading ends here
            // Whatever the first field says, a row from the file is the user's.
            entries_.push_back(MakeEntry(BlockRow{u"+", fields[1], fields[2], fields[3]}));
        }
    }
}

void BlockList::LoadBlockList(const Text& path) {
    try {
        entries_.clear();
        hasList_ = true;
        for (const BlockRow& row : DefaultBlockRows()) entries_.push_back(MakeEntry(row));

        // Other programs may read the file meanwhile but not write it; a file
        // another program is writing cannot be opened and counts as unreadable.
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(files_, path, w32::kFileShareRead, kMaxBlockListFileSize, &bytes) != FileRead::Read) return;
        std::vector<Text> lines;
        try {
            lines = ReadTextLines(bytes, system_);
        } catch (const Failure&) {
            return;  // undecodable text: the built-in rows only
        }
        ApplyLines(lines);
    } catch (...) {
        // Whatever was applied before the failure stays.
    }
}

void BlockList::FreeBlockList() {
    entries_.clear();
    entries_.shrink_to_fit();
    hasList_ = false;
}

bool BlockList::IsBlocked(const Text& caption, const Text& classKey, const Text& imagePath) const {
    try {
        if (!hasList_ || entries_.empty()) return false;
        AsciiUpperInto(caption, &foldedCaption_);
        AsciiUpperInto(classKey, &foldedClassKey_);
        AsciiUpperInto(imagePath, &foldedImagePath_);
        bool result = false;
        for (const Entry& entry : entries_) {
            const Text* subject = nullptr;
            switch (entry.subject) {
                case Subject::ClassKey: subject = &foldedClassKey_; break;
                case Subject::Caption: subject = &foldedCaption_; break;
                case Subject::ImagePath: subject = &foldedImagePath_; break;
                case Subject::None: continue;
            }
            if (!entry.foldedPattern.empty() && subject->find(entry.foldedPattern) != Text::npos) result = true;
        }
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
        if (!settings.RegReadBool(u"ReloadList", false)) return;
        list.FreeBlockList();
        list.LoadBlockList(BlockListPath(system, shell));
        settings.RegWriteBool(u"ReloadList", false);
    } catch (...) {
        // The stage never fails; a flag left set brings the rebuild back next tick.
    }
}

}  // namespace kx
