#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <functional>
#include <set>

#include "companion/BlockListStore.h"
#include "config/InputLimits.h"
#include "config/WindowsVersion.h"
#include "engine/BlockList.h"
#include "sim/SimPlatform.h"

namespace kx {

// Rows print as their four fields in failure messages.
void PrintTo(const BlockRow& row, std::ostream* os) {
    *os << "{" << sim::U8(row.origin) << "|" << sim::U8(row.kind) << "|" << sim::U8(row.pattern) << "|"
        << sim::U8(row.description) << "}";
}

namespace {

using sim::SimPlatform;

std::vector<std::uint8_t> Utf16File(const Text& text) {
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> Bytes(const std::string& raw) { return std::vector<std::uint8_t>(raw.begin(), raw.end()); }

Text FileText(const std::vector<std::uint8_t>& bytes) {
    Text text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// The editor and KestrixTray's own block list over one simulated machine.
struct Rig {
    Rig() {
        path = BlockListPath(sim.system, sim.shell);
        sim.world.folders.insert(u"C:\\PROGRAMDATA");
        MakeFolder();  // as setup leaves it
    }
    void MakeFolder() {
        sim.world.folders.insert(u"C:\\PROGRAMDATA\\VELMOR");
        sim.world.folders.insert(u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX");
    }
    void Put(const std::vector<std::uint8_t>& bytes) {
        MakeFolder();
        sim.world.files[sim::Upper(path)] = sim::SimFile{bytes, false};
    }
    void Put(const Text& text) { Put(Utf16File(text)); }
    const std::vector<std::uint8_t>* Bytes(const Text& p) const {
        auto it = sim.world.files.find(sim::Upper(p));
        return it == sim.world.files.end() ? nullptr : &it->second.bytes;
    }
    Text Saved() const { return FileText(*Bytes(path)); }
    // The temporary files that saves left beside the list (upper-cased).
    std::vector<Text> Temporaries() const {
        std::vector<Text> found;
        const Text prefix = sim::Upper(BlockListStore::TemporaryPrefix(path));
        for (const auto& file : sim.world.files) {
            if (file.first.rfind(prefix, 0) == 0) found.push_back(file.first);
        }
        return found;
    }
    // A list made from nothing, saved where there was no file.
    SaveResult SaveNew(const BlockListDocument& document) {
        LoadedBlockList fresh;
        fresh.document = document;
        return store.Save(path, fresh);
    }
    // What KestrixTray takes from the file: the rows of origin "+".
    std::vector<BlockRow> TrayUserRows() {
        list.LoadBlockList(path);
        std::vector<BlockRow> rows;
        for (const BlockRow& row : list.Rows()) {
            if (row.origin == u"+") rows.push_back(row);
        }
        return rows;
    }
    std::vector<Text> TrayBuiltInPatterns() {
        list.LoadBlockList(path);
        std::vector<Text> patterns;
        for (const BlockRow& row : list.Rows()) {
            if (row.origin == u"*") patterns.push_back(row.pattern);
        }
        return patterns;
    }

    SimPlatform sim;
    BlockListStore store{sim.system, sim.files, sim.clock};
    BlockList list{sim.system, sim.files};
    Text path;
};

TEST(BlockListWriter, EveryKindOfValueReadsBackExactlyInKestrixTray) {
    struct Case {
        const char* name;
        Text kind, pattern, description;
    };
    const std::vector<Case> cases = {
        {"plain", u"1", u"Notepad", u"Text editor"},
        {"blanks", u"1", u"Page Setup", u"  leading and trailing  "},
        {"commas", u"2", u"a,b.exe", u"one, two, three"},
        {"quote inside", u"1", u"Say \"hi\" now", u"the \"best\" game"},
        {"quotes only", u"1", u"\"", u"\"\""},
        {"quote at the ends", u"0", u"\"#Quoted\"", u"\""},
        {"non-ASCII", u"1", u"Редактор", u"게임 – café"},
        {"empty description", u"2", u"game.exe", u""},
        {"tab and leading blank", u"1", u" \tIndented", u"x"},
        {"minus as pattern", u"1", u"-", u"-"},
    };
    Rig rig;
    BlockListDocument document;
    for (const auto& c : cases) ASSERT_EQ(document.AddRow(c.kind, c.pattern, c.description), RowProblem::None) << c.name;
    ASSERT_EQ(rig.SaveNew(document), SaveResult::Saved);

    const auto rows = rig.TrayUserRows();
    ASSERT_EQ(rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rows[i], (BlockRow{u"+", cases[i].kind, cases[i].pattern, cases[i].description})) << cases[i].name;
    }
    // Every built-in row is still in force.
    EXPECT_EQ(rig.TrayBuiltInPatterns().size(), DefaultBlockRows().size());
    // And the editor reads its own file back to the same rows.
    const auto reloaded = rig.store.Load(rig.path);
    ASSERT_EQ(reloaded.state, BlockFileState::Read);
    ASSERT_EQ(reloaded.document.UserRows().size(), cases.size());
    EXPECT_EQ(reloaded.document.UserRows()[3]->pattern, u"Say \"hi\" now");
}

TEST(BlockListWriter, ForeignLinesAreKeptAndNoLongerHideTheRowsAfterThem) {
    Rig rig;
    // KestrixTray stops reading at the comment line and at the one-field removal,
    // so "Calc" is not in force before the editor saves.
    rig.Put(u"\"+\", \"1\", \"Notepad\", \"editor\"\r\nmy notes\r\n-\r\n+ 2 calc.exe calculator\r\n");
    ASSERT_EQ(rig.TrayUserRows().size(), 1u);

    auto loaded = rig.store.Load(rig.path);
    ASSERT_EQ(loaded.state, BlockFileState::Read);
    EXPECT_EQ(loaded.document.ForeignLines(), (std::vector<Text>{u"my notes", u"-"}));
    ASSERT_EQ(loaded.document.AddRow(u"1", u"Paint", u""), RowProblem::None);
    ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved);

    // Unchanged rows are written as they stood; the foreign lines follow the rows.
    EXPECT_EQ(rig.Saved(),
              u"\"+\", \"1\", \"Notepad\", \"editor\"\r\n+ 2 calc.exe calculator\r\n\"+\", \"1\", \"Paint\", \"\"\r\n"
              u"my notes\r\n-\r\n");
    const auto rows = rig.TrayUserRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], (BlockRow{u"+", u"2", u"calc.exe", u"calculator"}));
    EXPECT_EQ(rows[2], (BlockRow{u"+", u"1", u"Paint", u""}));
}

TEST(BlockListWriter, AnAnsiFileIsRewrittenAsUtf16WithTheSameRows) {
    Rig rig;
    // "Café" in Windows-1252, unquoted fields.
    const std::string ansi = "+ 1 Caf\xE9 menu\r\n";
    rig.Put(std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
    auto loaded = rig.store.Load(rig.path);
    ASSERT_EQ(loaded.document.UserRows().size(), 1u);
    ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved);
    const auto& bytes = *rig.Bytes(rig.path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(rig.TrayUserRows(), (std::vector<BlockRow>{{u"+", u"1", u"Café", u"menu"}}));
}

TEST(BlockListWriter, BuiltInRowSwitchesWriteRemovalLinesKestrixTrayApplies) {
    Rig rig;
    rig.Put(u"- print\r\n");  // a removal written by hand, in another case
    auto loaded = rig.store.Load(rig.path);
    BlockListDocument& document = loaded.document;
    EXPECT_TRUE(document.IsBuiltInRemoved(u"Print"));
    EXPECT_FALSE(document.IsBuiltInRemoved(u"Page Setup"));

    document.SetBuiltInRemoved(u"Page Setup", true);
    document.SetBuiltInRemoved(u"Page Setup", true);  // a second switch adds no second line
    document.SetBuiltInRemoved(u"Print", false);
    ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved);
    EXPECT_EQ(rig.Saved(), u"\"-\", \"Page Setup\"\r\n");

    const auto patterns = rig.TrayBuiltInPatterns();
    EXPECT_EQ(patterns.size(), DefaultBlockRows().size() - 1);
    EXPECT_EQ(std::count(patterns.begin(), patterns.end(), u"Page Setup"), 0);
    EXPECT_EQ(std::count(patterns.begin(), patterns.end(), u"Print"), 1);
}

TEST(BlockListWriter, RowsThatKestrixTrayCouldNotReadBackAreRefused) {
    struct Case {
        const char* name;
        Text kind, pattern, description;
        RowProblem problem;
    };
    const std::vector<Case> cases = {
        {"kind 3", u"3", u"x", u"", RowProblem::BadKind},
        {"kind with a blank", u" 1", u"x", u"", RowProblem::BadKind},
        {"empty pattern", u"1", u"", u"d", RowProblem::EmptyPattern},
        {"line feed in pattern", u"1", u"a\nb", u"", RowProblem::LineBreak},
        {"carriage return in description", u"1", u"a", u"b\rc", RowProblem::LineBreak},
        {"NUL in pattern", u"1", Text(u"a\0b", 3), u"", RowProblem::LineBreak},
    };
    for (const auto& c : cases) {
        BlockListDocument document;
        ASSERT_EQ(document.AddRow(u"1", u"Keep", u""), RowProblem::None);
        EXPECT_EQ(document.AddRow(c.kind, c.pattern, c.description), c.problem) << c.name;
        EXPECT_EQ(document.ChangeRow(0, c.kind, c.pattern, c.description), c.problem) << c.name;
        ASSERT_EQ(document.UserRows().size(), 1u) << c.name;
        EXPECT_EQ(document.UserRows()[0]->pattern, u"Keep") << c.name;
    }
}

TEST(BlockListWriter, ChangedAndDeletedRowsReachKestrixTray) {
    Rig rig;
    rig.Put(u"+ 1 One a\r\n+ 1 Two b\r\n+ 1 Three c\r\n");
    auto loaded = rig.store.Load(rig.path);
    ASSERT_EQ(loaded.document.ChangeRow(0, u"2", u"one.exe", u"changed"), RowProblem::None);
    ASSERT_TRUE(loaded.document.DeleteRow(1));
    EXPECT_FALSE(loaded.document.DeleteRow(5));
    EXPECT_TRUE(loaded.document.HasRow(u"1", u"THREE"));
    ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved);
    EXPECT_EQ(rig.TrayUserRows(),
              (std::vector<BlockRow>{{u"+", u"2", u"one.exe", u"changed"}, {u"+", u"1", u"Three", u"c"}}));
}

TEST(BlockListWriter, SaveGoesThroughAFlushedTemporaryFile) {
    Rig rig;
    BlockListDocument document;
    document.AddRow(u"1", u"Game", u"");
    ASSERT_EQ(rig.SaveNew(document), SaveResult::Saved);

    // A new file of a fresh name, made only where nothing stands and never through a link.
    ASSERT_EQ(rig.sim.world.fileCreations.size(), 1u);
    const Text temporary = rig.sim.world.fileCreations[0].first;
    EXPECT_EQ(temporary.size(), sim::Upper(BlockListStore::TemporaryPrefix(rig.path)).size() + 16);
    EXPECT_EQ(rig.sim.world.fileCreations[0].second, w32::kFileAttributeNormal | w32::kFileFlagOpenReparsePoint);
    EXPECT_EQ(rig.sim.world.flushedFiles, (std::vector<Text>{temporary}));
    ASSERT_EQ(rig.sim.world.fileMoves.size(), 1u);
    EXPECT_EQ(sim::Upper(rig.sim.world.fileMoves[0].first), temporary);
    EXPECT_EQ(rig.sim.world.fileMoves[0].second, rig.path);
    EXPECT_TRUE(rig.Temporaries().empty());
    // The next save has a name of its own.
    auto again = rig.store.Load(rig.path);
    again.document.AddRow(u"1", u"More", u"");
    ASSERT_EQ(rig.store.Save(rig.path, again), SaveResult::Saved);
    ASSERT_EQ(rig.sim.world.fileCreations.size(), 2u);
    EXPECT_NE(rig.sim.world.fileCreations[1].first, temporary);
    EXPECT_TRUE(rig.Temporaries().empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
    EXPECT_EQ(rig.TrayUserRows().size(), 2u);
}

TEST(BlockListWriter, ASaveWritesOnlyIntoANewFileOfItsOwnAndRefusesAnyOther) {
    // Whatever another account manages to put where the new file was made
    // (a link to a file of the user's, a second name of a file, a file of
    // its own), not a byte is written and the list stays as it was.
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&, sim::SimFile&)> plant;
        SaveResult result;
    };
    const Text stranger = u"S-1-5-21-1111-2222-3333-1002";
    const std::vector<Case> cases = {
        {"a reparse point", [](sim::SimWorld&, sim::SimFile& f) { f.reparsePoint = true; }, SaveResult::NotOwnFile},
        {"a second link", [](sim::SimWorld&, sim::SimFile& f) { f.links = 2; }, SaveResult::NotOwnFile},
        {"another account's file", [&](sim::SimWorld&, sim::SimFile& f) { f.owner = stranger; },
         SaveResult::NotOwnFile},
        {"a token that cannot be read", [](sim::SimWorld& w, sim::SimFile&) { w.tokenUnreadable = true; },
         SaveResult::NotOwnFile},
        // An elevated administrator's new files belong to the Administrators group.
        {"owned by the token's default owner",
         [](sim::SimWorld& w, sim::SimFile& f) {
             w.defaultOwnerSid = kSidAdministrators;
             f.owner = kSidAdministrators;
         },
         SaveResult::Saved},
    };
    for (const auto& c : cases) {
        for (const bool firstSave : {true, false}) {
            const std::string name = std::string(c.name) + (firstSave ? ", first save" : ", routine save");
            Rig rig;
            const Text old = u"+ 1 Old row\r\n";
            if (!firstSave) rig.Put(old);
            auto loaded = rig.store.Load(rig.path);
            loaded.document.AddRow(u"1", u"New", u"");
            rig.sim.world.onFileCreated = [&](const Text&, sim::SimFile& file) { c.plant(rig.sim.world, file); };
            EXPECT_EQ(rig.store.Save(rig.path, loaded), c.result) << name;
            EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u) << name;
            EXPECT_TRUE(rig.Temporaries().empty()) << name;
            if (c.result == SaveResult::Saved) {
                EXPECT_EQ(rig.TrayUserRows().size(), firstSave ? 1u : 2u) << name;
                continue;
            }
            EXPECT_TRUE(rig.sim.world.fileWrites.empty()) << name;
            if (firstSave) {
                EXPECT_EQ(rig.Bytes(rig.path), nullptr) << name;
            } else {
                EXPECT_EQ(rig.Saved(), old) << name;
            }
        }
    }
}

TEST(BlockListWriter, TheEditorNeverMakesTheDataFolderItself) {
    // Made here, as this account, the folder would carry this account's
    // rights and owner, and the next installation would refuse it.
    Rig rig;
    // No VELMOR\Kestrix folder: the installation is incomplete.
    rig.sim.world.folders = {u"C:\\PROGRAMDATA"};
    const std::set<Text> before = rig.sim.world.folders;
    EXPECT_FALSE(rig.store.HasDataFolder(rig.path));
    BlockListDocument document;
    document.AddRow(u"1", u"Game", u"");
    EXPECT_EQ(rig.SaveNew(document), SaveResult::FolderFailed);
    EXPECT_EQ(rig.sim.world.folders, before);
    EXPECT_TRUE(rig.sim.world.files.empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);

    // A file where the folder should be is no folder either.
    rig.sim.world.folders.insert(u"C:\\PROGRAMDATA\\VELMOR");
    rig.sim.world.files[u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX"] = sim::SimFile{};
    EXPECT_EQ(rig.SaveNew(document), SaveResult::FolderFailed);

    rig.sim.world.files.clear();
    rig.MakeFolder();
    EXPECT_TRUE(rig.store.HasDataFolder(rig.path));
    EXPECT_EQ(rig.SaveNew(document), SaveResult::Saved);
}

TEST(BlockListWriter, AFailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
    struct Case {
        const char* name;
        std::function<void(sim::SimWorld&)> fault;
        SaveResult result;
        std::size_t sleeps;
    };
    const std::vector<Case> cases = {
        {"no rights", [](sim::SimWorld& w) { w.fileWritesRefused = true; }, SaveResult::WriteFailed, 0},
        {"disk full", [](sim::SimWorld& w) { w.fileWriteFails = true; }, SaveResult::WriteFailed, 0},
        {"file held by a reader",
         [](sim::SimWorld& w) { w.replaceErrors.assign(1000, w32::kErrorSharingViolation); }, SaveResult::ReplaceFailed,
         9},
        {"reader lets go in time", [](sim::SimWorld& w) { w.replaceErrors.assign(3, w32::kErrorSharingViolation); },
         SaveResult::Saved, 3},
    };
    for (const auto& c : cases) {
        Rig rig;
        const Text old = u"+ 1 Old row\r\n";
        rig.Put(old);
        auto loaded = rig.store.Load(rig.path);
        loaded.document.AddRow(u"1", u"New", u"");
        c.fault(rig.sim.world);
        EXPECT_EQ(rig.store.Save(rig.path, loaded), c.result) << c.name;
        EXPECT_EQ(rig.sim.world.sleeps.size(), c.sleeps) << c.name;
        EXPECT_TRUE(rig.Temporaries().empty()) << c.name;
        EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u) << c.name;
        if (c.result == SaveResult::Saved) {
            EXPECT_EQ(rig.TrayUserRows().size(), 2u) << c.name;
        } else {
            EXPECT_EQ(rig.Saved(), old) << c.name;
        }
    }
}

TEST(BlockListWriter, AFileThatCannotBeDecodedIsKeptAsideBeforeItIsReplaced) {
    Rig rig;
    const std::vector<std::uint8_t> broken = {0xEF, 0xBB, 0xBF, '+', ' ', '1', ' ', 0xC3, 0x28, ' ', 'x', '\r', '\n'};
    rig.Put(broken);
    auto loaded = rig.store.Load(rig.path);
    EXPECT_EQ(loaded.state, BlockFileState::Unreadable);
    EXPECT_TRUE(loaded.document.Lines().empty());

    loaded.document.AddRow(u"1", u"Fresh", u"");
    // While the old file cannot be put aside, it is not replaced either.
    rig.sim.world.replaceErrors.assign(1000, w32::kErrorSharingViolation);
    EXPECT_EQ(rig.store.Save(rig.path, loaded), SaveResult::ReplaceFailed);
    EXPECT_EQ(*rig.Bytes(rig.path), broken);
    EXPECT_TRUE(rig.Temporaries().empty());
    rig.sim.world.replaceErrors.clear();
    ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved);
    const auto* backup = rig.Bytes(BlockListStore::BackupPath(rig.path));
    ASSERT_NE(backup, nullptr);
    EXPECT_EQ(*backup, broken);
    EXPECT_EQ(rig.TrayUserRows(), (std::vector<BlockRow>{{u"+", u"1", u"Fresh", u""}}));
}

TEST(BlockListWriter, AFileThatCannotBeOpenedIsNeverReplaced) {
    Rig rig;
    const Text old = u"+ 1 Mine x\r\n";
    rig.Put(old);
    rig.sim.world.files[sim::Upper(rig.path)].locked = true;
    auto loaded = rig.store.Load(rig.path);
    EXPECT_EQ(loaded.state, BlockFileState::Busy);
    loaded.document.AddRow(u"1", u"New", u"");
    EXPECT_EQ(rig.store.Save(rig.path, loaded), SaveResult::NotRead);

    // Once the other program lets go, the file reads again with its rows.
    rig.sim.world.files[sim::Upper(rig.path)].locked = false;
    EXPECT_EQ(rig.Saved(), old);
    EXPECT_EQ(rig.store.Load(rig.path).document.UserRows().size(), 1u);
    EXPECT_TRUE(rig.Temporaries().empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

TEST(BlockListWriter, AMissingFileLoadsAsAnEmptyDocument) {
    Rig rig;
    const auto loaded = rig.store.Load(rig.path);
    EXPECT_EQ(loaded.state, BlockFileState::Missing);
    EXPECT_TRUE(loaded.document.Lines().empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

TEST(BlockListWriter, AFileNotReadNormallyIsKeptWholeAsTheBackupWhichRoutineSavesNeverTouch) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        BlockFileState state;
        std::vector<Text> shownPatterns;  // the rows the editor shows
    };
    std::vector<std::uint8_t> utf16Nul = Utf16File(u"+ 1 Before a\r\n");
    utf16Nul.insert(utf16Nul.end(), {0, 0});
    const auto after = Utf16File(u"+ 1 After b\r\n");
    utf16Nul.insert(utf16Nul.end(), after.begin() + 2, after.end());
    std::vector<std::uint8_t> unmarked16 = Utf16File(u"+ 1 Before a\r\n+ 1 After b\r\n");
    unmarked16.erase(unmarked16.begin(), unmarked16.begin() + 2);
    std::vector<std::uint8_t> oddByte = Utf16File(u"+ 1 Before a\r\n");
    oddByte.push_back('X');
    std::vector<std::uint8_t> trailingNuls = Utf16File(u"+ 1 Before a\r\n");
    trailingNuls.insert(trailingNuls.end(), {0, 0, 0, 0});
    const std::vector<Case> cases = {
        {"NUL in UTF-16", utf16Nul, BlockFileState::Truncated, {u"Before"}},
        {"NUL in ANSI", Bytes(std::string("+ 1 Before a\r\n\0+ 1 After b\r\n", 29)), BlockFileState::Truncated,
         {u"Before"}},
        {"UTF-16 without a mark", unmarked16, BlockFileState::Truncated, {}},
        {"UTF-16 with an odd last byte", oddByte, BlockFileState::Truncated, {u"Before"}},
        // "Café" in UTF-8 without a mark: read in the ANSI code page, as KestrixTray reads it.
        {"unmarked UTF-8", Bytes("+ 1 Caf\xC3\xA9 a\r\n"), BlockFileState::Utf8WithoutMark, {u"Caf\u00C3\u00A9"}},
        // Read to its end: no backup.
        {"NULs only at the end", trailingNuls, BlockFileState::Read, {u"Before"}},
        {"ANSI that is not UTF-8", Bytes("+ 1 Caf\xE9 a\r\n"), BlockFileState::Read, {u"Caf\u00E9"}},
        {"plain ASCII", Bytes("+ 1 Before a\r\n"), BlockFileState::Read, {u"Before"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.Put(c.bytes);
        auto loaded = rig.store.Load(rig.path);
        EXPECT_EQ(loaded.state, c.state) << c.name;
        std::vector<Text> shown;
        for (const BlockFileLine* row : loaded.document.UserRows()) shown.push_back(row->pattern);
        EXPECT_EQ(shown, c.shownPatterns) << c.name;

        ASSERT_EQ(loaded.document.AddRow(u"1", u"First", u""), RowProblem::None);
        ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved) << c.name;
        EXPECT_EQ(loaded.state, BlockFileState::Read) << c.name;
        std::vector<Text> expected = c.shownPatterns;
        expected.push_back(u"First");
        std::vector<Text> inForce;
        for (const BlockRow& row : rig.TrayUserRows()) inForce.push_back(row.pattern);
        EXPECT_EQ(inForce, expected) << c.name;
        const bool kept = c.state != BlockFileState::Read;
        const auto* backup = rig.Bytes(BlockListStore::BackupPath(rig.path));
        if (!kept) {
            EXPECT_EQ(backup, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(backup, nullptr) << c.name;
        EXPECT_EQ(*backup, c.bytes) << c.name;

        // Later saves are routine: the backup stays as it was, and they leave no other file behind.
        ASSERT_EQ(loaded.document.AddRow(u"1", u"Second", u""), RowProblem::None);
        ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved) << c.name;
        EXPECT_EQ(*rig.Bytes(BlockListStore::BackupPath(rig.path)), c.bytes) << c.name;
        EXPECT_EQ(rig.Bytes(BlockListStore::ReplacedPath(rig.path)), nullptr) << c.name;
        EXPECT_TRUE(rig.Temporaries().empty()) << c.name;
        EXPECT_EQ(rig.TrayUserRows().size(), expected.size() + 1) << c.name;
    }
}

// A list of rows whose lines are each lineChars long (without the break) but
// the last, which is lastChars long.
BlockListDocument ListOfLines(std::size_t rows, std::size_t lineChars, std::size_t lastChars) {
    // "+", "1", "<pattern>", "" is 16 characters and the pattern.
    BlockListDocument document;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t length = (i + 1 == rows ? lastChars : lineChars) - 16;
        Text pattern = Text(length, u'p');
        pattern.replace(0, 1, 1, static_cast<char16_t>(u'A' + i % 26));
        EXPECT_EQ(document.AddRow(u"1", pattern, u""), RowProblem::None);
    }
    return document;
}

TEST(BlockListWriter, TheWriterRefusesAListKestrixTrayWouldNotReadAndKeepsTheOldFile) {
    // The file's size: a mark and two bytes a character, every line 4,094
    // characters and its break, the last line fitting the rest exactly.
    const std::size_t chars = static_cast<std::size_t>(kMaxBlockListFileBytes - 2) / 2;
    const std::size_t fullLines = chars / 4096;
    const std::size_t lastLine = chars - fullLines * 4096 - 2;
    struct Case {
        const char* name;
        BlockListDocument document;
        SaveResult result;
    };
    const std::vector<Case> cases = {
        {"file at its cap", ListOfLines(fullLines + 1, 4094, lastLine), SaveResult::Saved},
        {"file one character over", ListOfLines(fullLines + 1, 4094, lastLine + 1), SaveResult::TooLarge},
        {"rows at their cap", ListOfLines(kMaxBlockListRows, 20, 20), SaveResult::Saved},
        {"one row over", ListOfLines(kMaxBlockListRows + 1, 20, 20), SaveResult::TooLarge},
        {"the longest line", ListOfLines(1, 20, kMaxBlockListLineChars), SaveResult::Saved},
    };
    for (const auto& c : cases) {
        Rig rig;
        const auto old = Utf16File(u"+ 1 Old row\r\n");
        rig.Put(old);
        auto loaded = rig.store.Load(rig.path);
        loaded.document = c.document;
        EXPECT_EQ(rig.store.Save(rig.path, loaded), c.result) << c.name;
        EXPECT_TRUE(rig.Temporaries().empty()) << c.name;
        if (c.result == SaveResult::TooLarge) {
            EXPECT_EQ(*rig.Bytes(rig.path), old) << c.name;
            continue;
        }
        // What the writer lets through, the editor and KestrixTray read whole.
        EXPECT_LE(rig.Bytes(rig.path)->size(), static_cast<std::size_t>(kMaxBlockListFileBytes)) << c.name;
        const auto reread = rig.store.Load(rig.path);
        EXPECT_EQ(reread.state, BlockFileState::Read) << c.name;
        EXPECT_EQ(reread.document.UserRows().size(), c.document.UserRows().size()) << c.name;
        EXPECT_EQ(rig.TrayUserRows().size(), c.document.UserRows().size()) << c.name;
    }

    // A row whose line would be one character too long is refused as it is entered.
    BlockListDocument document;
    EXPECT_EQ(document.AddRow(u"1", Text(kMaxBlockListLineChars - 16, u'p'), u""), RowProblem::None);
    EXPECT_EQ(document.AddRow(u"1", Text(kMaxBlockListLineChars - 16, u'p'), u"d"), RowProblem::TooLong);
    // Quotes count as they are written: doubled.
    EXPECT_EQ(document.AddRow(u"1", Text(kMaxBlockListLineChars / 2, u'"'), u""), RowProblem::TooLong);
}

TEST(BlockListWriter, AnAnsiListThatWouldGrowPastTheCapAsUtf16IsNotWritten) {
    // Under the size cap in the ANSI code page, twice that as UTF-16.
    Rig rig;
    std::string ansi;
    for (std::size_t i = 0; ansi.size() < static_cast<std::size_t>(kMaxBlockListFileBytes) * 3 / 4; ++i) {
        ansi += "+ 1 Program" + std::to_string(i) + " a description of this row, as users write them\r\n";
    }
    rig.Put(Bytes(ansi));
    auto loaded = rig.store.Load(rig.path);
    ASSERT_EQ(loaded.state, BlockFileState::Read);
    ASSERT_EQ(loaded.document.AddRow(u"1", u"One more", u""), RowProblem::None);
    EXPECT_EQ(rig.store.Save(rig.path, loaded), SaveResult::TooLarge);
    EXPECT_EQ(*rig.Bytes(rig.path), Bytes(ansi));
    EXPECT_TRUE(rig.Temporaries().empty());
}

TEST(BlockListWriter, TheEditorReadsAFileOverTheCapsAsUnreadable) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        BlockFileState state;
    };
    const auto line = [](std::size_t length) { return std::string("+ 1 ") + std::string(length - 4, 'p') + "\r\n"; };
    std::string manyRows;
    for (std::size_t i = 0; i <= kMaxBlockListRows; ++i) manyRows += "+ 1 p d\n";
    // 65,536 lines of 64 bytes: the size cap exactly.
    std::string full;
    for (std::size_t i = 0; i < 65536; ++i) full += "+ 1 p " + std::string(56, 'd') + "\r\n";
    const std::vector<Case> cases = {
        {"the longest line", Bytes(line(kMaxBlockListLineChars)), BlockFileState::Read},
        {"a line one character longer", Bytes(line(kMaxBlockListLineChars + 1)), BlockFileState::Unreadable},
        {"rows at their cap and blank lines", Bytes(manyRows.substr(8) + "\r\n \r\n"), BlockFileState::Read},
        {"one row more", Bytes(manyRows), BlockFileState::Unreadable},
        {"the file at its size cap", Bytes(full), BlockFileState::Read},
        {"one byte more", Bytes(full.substr(0, full.size() - 64) + " " + full.substr(full.size() - 64)),
         BlockFileState::Unreadable},
        // Millions of lines, none of them a row: an empty list, read without keeping a line.
        {"the size cap of line breaks", Bytes(std::string(static_cast<std::size_t>(kMaxBlockListFileBytes), '\n')),
         BlockFileState::Read},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.Put(c.bytes);
        auto loaded = rig.store.Load(rig.path);
        EXPECT_EQ(loaded.state, c.state) << c.name;
        if (c.state != BlockFileState::Unreadable) continue;
        // Saving keeps the file whole aside.
        loaded.document.AddRow(u"1", u"Mine", u"");
        ASSERT_EQ(rig.store.Save(rig.path, loaded), SaveResult::Saved) << c.name;
        EXPECT_EQ(*rig.Bytes(BlockListStore::BackupPath(rig.path)), c.bytes) << c.name;
    }
}

TEST(BlockListWriter, TwoEditorsNeverOverwriteEachOthersRows) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> otherEditor;
        std::vector<Text> thenInForce;  // the rows after the first editor made its change again
    };
    const auto saveOther = [](Rig& rig, const Text& pattern) {
        auto other = rig.store.Load(rig.path);
        other.document.AddRow(u"1", pattern, u"");
        ASSERT_EQ(rig.store.Save(rig.path, other), SaveResult::Saved);
    };
    const std::vector<Case> cases = {
        {"added a row (the size changed)",
         [&](Rig& rig) { saveOther(rig, u"Theirs"); }, {u"Old", u"Theirs", u"Mine"}},
        {"changed a row to one of the same size, later",
         [](Rig& rig) {
             rig.sim.world.fileTimeUtc += 1;
             auto other = rig.store.Load(rig.path);
             ASSERT_EQ(other.document.ChangeRow(0, u"1", u"Odd", u""), RowProblem::None);
             ASSERT_EQ(rig.store.Save(rig.path, other), SaveResult::Saved);
         },
         {u"Odd", u"Mine"}},
        {"deleted the file", [](Rig& rig) { rig.sim.files.DeleteFileW(rig.path); }, {u"Mine"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.Put(u"\"+\", \"1\", \"Old\", \"\"\r\n");
        auto mine = rig.store.Load(rig.path);
        c.otherEditor(rig);
        const std::vector<std::uint8_t>* theirs = rig.Bytes(rig.path);
        const auto before = theirs == nullptr ? std::vector<std::uint8_t>() : *theirs;

        ASSERT_EQ(mine.document.AddRow(u"1", u"Mine", u""), RowProblem::None);
        EXPECT_EQ(rig.store.Save(rig.path, mine), SaveResult::Changed) << c.name;
        const auto* now = rig.Bytes(rig.path);
        EXPECT_EQ(now == nullptr ? std::vector<std::uint8_t>() : *now, before) << c.name;
        EXPECT_TRUE(rig.Temporaries().empty()) << c.name;

        // Shown the file as it now stands, the user makes the change again.
        mine = rig.store.Load(rig.path);
        ASSERT_EQ(mine.document.AddRow(u"1", u"Mine", u""), RowProblem::None);
        ASSERT_EQ(rig.store.Save(rig.path, mine), SaveResult::Saved) << c.name;
        std::vector<Text> inForce;
        for (const BlockRow& row : rig.TrayUserRows()) inForce.push_back(row.pattern);
        EXPECT_EQ(inForce, c.thenInForce) << c.name;
        // The editor goes on saving over its own file.
        ASSERT_TRUE(mine.document.DeleteRow(0));
        EXPECT_EQ(rig.store.Save(rig.path, mine), SaveResult::Saved) << c.name;
    }

    // Where there was no file, another editor's first file is not overwritten either.
    Rig rig;
    rig.MakeFolder();
    auto mine = rig.store.Load(rig.path);
    ASSERT_EQ(mine.state, BlockFileState::Missing);
    saveOther(rig, u"Theirs");
    const auto theirs = *rig.Bytes(rig.path);
    mine.document.AddRow(u"1", u"Mine", u"");
    EXPECT_EQ(rig.store.Save(rig.path, mine), SaveResult::Changed);
    EXPECT_EQ(*rig.Bytes(rig.path), theirs);
}

TEST(BlockListWriter, EachWayTheReplaceCanFailLeavesTheFileOrItsBackupAndTheNextLoadMends) {
    struct Case {
        const char* name;
        bool lossy;  // the file was read with a NUL: its backup is the kept one
        std::deque<std::uint32_t> errors;
        SaveResult result;
        std::size_t sleeps;
    };
    const std::uint32_t sharing = w32::kErrorSharingViolation;
    const std::vector<Case> cases = {
        {"held for a moment", false, {sharing, sharing}, SaveResult::Saved, 2},
        {"held throughout", false, std::deque<std::uint32_t>(20, sharing), SaveResult::ReplaceFailed, 9},
        {"the old file cannot be removed", false, std::deque<std::uint32_t>(20, w32::kErrorUnableToRemoveReplaced),
         SaveResult::ReplaceFailed, 9},
        {"the new file cannot be moved, then can", false, {w32::kErrorUnableToMoveReplacement}, SaveResult::Saved, 1},
        {"only the backup is left", false, {w32::kErrorUnableToMoveReplacement2}, SaveResult::ReplaceFailed, 0},
        {"only the kept backup is left", true, {w32::kErrorUnableToMoveReplacement2}, SaveResult::ReplaceFailed, 0},
        {"refused outright", false, {static_cast<std::uint32_t>(87)}, SaveResult::ReplaceFailed, 0},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::vector<std::uint8_t> old = Utf16File(u"+ 1 Old row\r\n");
        if (c.lossy) old.insert(old.end(), {0, 0, 'X', 0});
        rig.Put(old);
        auto loaded = rig.store.Load(rig.path);
        loaded.document.AddRow(u"1", u"New", u"");
        rig.sim.world.replaceErrors = c.errors;
        EXPECT_EQ(rig.store.Save(rig.path, loaded), c.result) << c.name;
        EXPECT_EQ(rig.sim.world.sleeps.size(), c.sleeps) << c.name;
        if (c.result == SaveResult::Saved) {
            EXPECT_EQ(rig.TrayUserRows().size(), 2u) << c.name;
            EXPECT_EQ(rig.Bytes(BlockListStore::ReplacedPath(rig.path)), nullptr) << c.name;
            continue;
        }
        const Text backup = c.lossy ? BlockListStore::BackupPath(rig.path) : BlockListStore::ReplacedPath(rig.path);
        if (c.errors.front() == w32::kErrorUnableToMoveReplacement2) {
            // Nothing under the file's name: KestrixTray has only its built-in rows
            // for the moment, the old file is whole under the backup name.
            EXPECT_EQ(rig.Bytes(rig.path), nullptr) << c.name;
            EXPECT_EQ(*rig.Bytes(backup), old) << c.name;
        }
        // The next load puts the old file back, and the save can be made again.
        rig.sim.world.replaceErrors.clear();
        auto again = rig.store.Load(rig.path);
        EXPECT_EQ(*rig.Bytes(rig.path), old) << c.name;
        EXPECT_TRUE(rig.Temporaries().empty()) << c.name;
        EXPECT_EQ(rig.Bytes(BlockListStore::ReplacedPath(rig.path)), nullptr) << c.name;
        EXPECT_EQ(again.state, c.lossy ? BlockFileState::Truncated : BlockFileState::Read) << c.name;
        again.document.AddRow(u"1", u"New", u"");
        ASSERT_EQ(rig.store.Save(rig.path, again), SaveResult::Saved) << c.name;
        EXPECT_EQ(rig.TrayUserRows().size(), 2u) << c.name;
        if (c.lossy) {
            EXPECT_EQ(*rig.Bytes(BlockListStore::BackupPath(rig.path)), old) << c.name;
        }
    }

    // The first save has nothing to replace; a move that fails leaves nothing behind.
    Rig rig;
    rig.MakeFolder();
    rig.sim.world.moveFailuresLeft = 1;
    EXPECT_EQ(rig.SaveNew(ListOfLines(1, 20, 20)), SaveResult::ReplaceFailed);
    EXPECT_TRUE(rig.sim.world.files.empty());
}

TEST(BlockListWriter, ACrashAtAnyStepOfASaveLeavesTheOldOrTheNewListAndNeverLosesTheKeptFile) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> old;  // empty: no file yet
        BlockFileState state;
    };
    std::vector<std::uint8_t> lossy = Utf16File(u"+ 1 Old row\r\n");
    lossy.insert(lossy.end(), {0, 0, 'X', 0});
    const std::vector<Case> cases = {
        {"first save", {}, BlockFileState::Missing},
        {"routine save", Utf16File(u"+ 1 Old row\r\n"), BlockFileState::Read},
        {"save that keeps the old file", lossy, BlockFileState::Truncated},
    };
    for (const auto& c : cases) {
        bool completed = false;
        for (int changes = 0; !completed && changes < 30; ++changes) {
            const std::string name = std::string(c.name) + ", crash after " + std::to_string(changes) + " changes";
            Rig rig;
            rig.MakeFolder();
            if (!c.old.empty()) rig.Put(c.old);
            auto loaded = rig.store.Load(rig.path);
            ASSERT_EQ(loaded.state, c.state) << name;
            loaded.document.AddRow(u"1", u"New", u"");
            rig.sim.world.fileChangesLeft = changes;
            completed = rig.store.Save(rig.path, loaded) == SaveResult::Saved && rig.sim.world.fileChangesLeft != 0;
            rig.sim.world.fileChangesLeft = -1;  // the program starts again

            // Whatever was on disk when it stopped, the next start shows the
            // old list or the new one, and KestrixTray reads the same.
            BlockListStore restarted(rig.sim.system, rig.sim.files, rig.sim.clock);
            const auto after = restarted.Load(rig.path);
            std::vector<Text> shown;
            for (const BlockFileLine* row : after.document.UserRows()) shown.push_back(row->pattern);
            const std::vector<Text> oldRows = c.old.empty() ? std::vector<Text>{} : std::vector<Text>{u"Old"};
            std::vector<Text> newRows = oldRows;
            newRows.push_back(u"New");
            EXPECT_TRUE(shown == oldRows || shown == newRows) << name;
            EXPECT_EQ(rig.TrayUserRows().size(), shown.size()) << name;
            if (shown == oldRows && !c.old.empty()) {
                EXPECT_EQ(*rig.Bytes(rig.path), c.old) << name;
            }
            // Once the new list is in force, the file read with a NUL is kept whole.
            if (shown == newRows && c.state == BlockFileState::Truncated) {
                const auto* kept = rig.Bytes(BlockListStore::BackupPath(rig.path));
                ASSERT_NE(kept, nullptr) << name;
                EXPECT_EQ(*kept, c.old) << name;
            }
        }
        EXPECT_TRUE(completed) << c.name;
    }
}

TEST(BlockListWriter, TheStatisticsReadTheListOnlyWhenItChanged) {
    Rig rig;
    rig.Put(u"+ 1 One a\r\n- Print\r\n");
    BlockListWatch watch(rig.store);
    const auto reads = [&] {
        return std::count_if(rig.sim.world.fileOpens.begin(), rig.sim.world.fileOpens.end(),
                             [&](const auto& open) { return open.first == rig.path; });
    };
    for (int second = 0; second < 100; ++second) watch.Refresh(rig.path);
    EXPECT_EQ(reads(), 1);
    EXPECT_EQ(watch.List().document.UserRows().size(), 1u);
    EXPECT_TRUE(watch.List().document.IsBuiltInRemoved(u"Print"));

    // Another account saves: the next look reads it, once.
    rig.sim.world.fileTimeUtc += 10'000'000;
    auto other = rig.store.Load(rig.path);
    other.document.AddRow(u"1", u"Two", u"");
    ASSERT_EQ(rig.store.Save(rig.path, other), SaveResult::Saved);
    const auto readsBefore = reads();
    EXPECT_TRUE(watch.Refresh(rig.path));
    EXPECT_FALSE(watch.Refresh(rig.path));
    EXPECT_EQ(reads(), readsBefore + 1);
    EXPECT_EQ(watch.List().document.UserRows().size(), 2u);

    // A file that cannot be opened for the moment is tried again at the next look.
    rig.sim.world.fileTimeUtc += 10'000'000;
    rig.Put(u"+ 1 Three c\r\n");
    rig.sim.world.files[sim::Upper(rig.path)].locked = true;
    EXPECT_TRUE(watch.Refresh(rig.path));
    EXPECT_EQ(watch.List().state, BlockFileState::Busy);
    rig.sim.world.files[sim::Upper(rig.path)].locked = false;
    EXPECT_TRUE(watch.Refresh(rig.path));
    ASSERT_EQ(watch.List().document.UserRows().size(), 1u);
    EXPECT_EQ(watch.List().document.UserRows()[0]->pattern, u"Three");
}

}  // namespace
}  // namespace kx
