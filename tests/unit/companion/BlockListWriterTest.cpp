#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "companion/BlockListStore.h"
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
    ASSERT_EQ(rig.store.Save(rig.path, document), SaveResult::Saved);

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
    ASSERT_EQ(rig.store.Save(rig.path, loaded.document), SaveResult::Saved);

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
    ASSERT_EQ(rig.store.Save(rig.path, loaded.document), SaveResult::Saved);
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
    ASSERT_EQ(rig.store.Save(rig.path, document), SaveResult::Saved);
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
    ASSERT_EQ(rig.store.Save(rig.path, loaded.document), SaveResult::Saved);
    EXPECT_EQ(rig.TrayUserRows(),
              (std::vector<BlockRow>{{u"+", u"2", u"one.exe", u"changed"}, {u"+", u"1", u"Three", u"c"}}));
}

TEST(BlockListWriter, SaveGoesThroughAFlushedTemporaryFile) {
    Rig rig;
    BlockListDocument document;
    document.AddRow(u"1", u"Game", u"");
    ASSERT_EQ(rig.store.Save(rig.path, document), SaveResult::Saved);

    const Text temporary = BlockListStore::TemporaryPath(rig.path);
    EXPECT_EQ(rig.sim.world.flushedFiles, (std::vector<Text>{sim::Upper(temporary)}));
    ASSERT_EQ(rig.sim.world.fileMoves.size(), 1u);
    EXPECT_EQ(rig.sim.world.fileMoves[0], std::make_pair(temporary, rig.path));
    EXPECT_EQ(rig.Bytes(temporary), nullptr);
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
    EXPECT_EQ(rig.TrayUserRows().size(), 1u);
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
    EXPECT_EQ(rig.store.Save(rig.path, document), SaveResult::FolderFailed);
    EXPECT_EQ(rig.sim.world.folders, before);
    EXPECT_TRUE(rig.sim.world.files.empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);

    // A file where the folder should be is no folder either.
    rig.sim.world.folders.insert(u"C:\\PROGRAMDATA\\VELMOR");
    rig.sim.world.files[u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX"] = sim::SimFile{};
    EXPECT_EQ(rig.store.Save(rig.path, document), SaveResult::FolderFailed);

    rig.sim.world.files.clear();
    rig.MakeFolder();
    EXPECT_TRUE(rig.store.HasDataFolder(rig.path));
    EXPECT_EQ(rig.store.Save(rig.path, document), SaveResult::Saved);
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
        {"file held by a reader", [](sim::SimWorld& w) { w.moveFailuresLeft = 1000; }, SaveResult::ReplaceFailed, 9},
        {"reader lets go in time", [](sim::SimWorld& w) { w.moveFailuresLeft = 3; }, SaveResult::Saved, 3},
    };
    for (const auto& c : cases) {
        Rig rig;
        const Text old = u"+ 1 Old row\r\n";
        rig.Put(old);
        auto loaded = rig.store.Load(rig.path);
        loaded.document.AddRow(u"1", u"New", u"");
        c.fault(rig.sim.world);
        EXPECT_EQ(rig.store.Save(rig.path, loaded.document), c.result) << c.name;
        EXPECT_EQ(rig.sim.world.sleeps.size(), c.sleeps) << c.name;
        EXPECT_EQ(rig.Bytes(BlockListStore::TemporaryPath(rig.path)), nullptr) << c.name;
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
    rig.sim.world.moveFailuresLeft = 1000;
    EXPECT_EQ(rig.store.Save(rig.path, loaded.document, loaded.state), SaveResult::ReplaceFailed);
    EXPECT_EQ(*rig.Bytes(rig.path), broken);
    EXPECT_EQ(rig.Bytes(BlockListStore::TemporaryPath(rig.path)), nullptr);
    rig.sim.world.moveFailuresLeft = 0;
    ASSERT_EQ(rig.store.Save(rig.path, loaded.document, loaded.state), SaveResult::Saved);
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
    EXPECT_EQ(rig.store.Save(rig.path, loaded.document, loaded.state), SaveResult::NotRead);

    // Once the other program lets go, the file reads again with its rows.
    rig.sim.world.files[sim::Upper(rig.path)].locked = false;
    EXPECT_EQ(rig.Saved(), old);
    EXPECT_EQ(rig.store.Load(rig.path).document.UserRows().size(), 1u);
    EXPECT_EQ(rig.Bytes(BlockListStore::TemporaryPath(rig.path)), nullptr);
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

TEST(BlockListWriter, AMissingFileLoadsAsAnEmptyDocument) {
    Rig rig;
    const auto loaded = rig.store.Load(rig.path);
    EXPECT_EQ(loaded.state, BlockFileState::Missing);
    EXPECT_TRUE(loaded.document.Lines().empty());
    EXPECT_EQ(rig.sim.world.handles.OpenCount(), 0u);
}

}  // namespace
}  // namespace kx
