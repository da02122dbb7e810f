#include <gtest/gtest.h>

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

const Text kSettings = u"HKLM\\Software\\VELMOR\\Kestrix";

enum class Encoding { Ansi, Utf16Le, Utf8Bom };

std::vector<std::uint8_t> Encode(const Text& text, Encoding encoding) {
    std::vector<std::uint8_t> bytes;
    if (encoding == Encoding::Utf16Le) {
        bytes = {0xFF, 0xFE};
        for (char16_t c : text) {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return bytes;
    }
    if (encoding == Encoding::Utf8Bom) {
        bytes = {0xEF, 0xBB, 0xBF};
        const std::string utf8 = sim::U8(text);
        bytes.insert(bytes.end(), utf8.begin(), utf8.end());
        return bytes;
    }
    for (char16_t c : text) bytes.push_back(static_cast<std::uint8_t>(c));  // Latin-1 range only
    return bytes;
}

struct Rig {
    Rig() { path = BlockListPath(sim.system, sim.shell); }
    void Write(const std::vector<std::uint8_t>& bytes) { sim.world.files[sim::Upper(path)] = sim::SimFile{bytes, false}; }
    void Write(const Text& text, Encoding encoding = Encoding::Ansi) { Write(Encode(text, encoding)); }
    void Load() { list.LoadBlockList(path); }
    std::vector<BlockRow> UserRows() const {
        std::vector<BlockRow> rows;
        for (const BlockRow& row : list.Rows()) {
            if (row.origin == u"+") rows.push_back(row);
        }
        return rows;
    }
    bool Caption(const Text& caption) const { return list.IsBlocked(caption, u"#SomeClass", u"C:\\Apps\\app.exe"); }

    SimPlatform sim;
    BlockList list{sim.system, sim.files, &sim.trace};
    SettingsStore settings{sim.registry};
    Text path;
};

struct Probe {
    Text caption;
    Text classKey;
    Text imagePath;
    bool blocked;
};

TEST(BlockList, BuiltInRowsWithoutAFile) {
    Rig r;
    r.Load();
    ASSERT_EQ(r.list.Rows(), DefaultBlockRows());
    ASSERT_EQ(DefaultBlockRows().size(), 18u);
    const Probe probes[] = {
        {u"Blueprint editor", u"#Editor", u"C:\\Apps\\bp.exe", true},
        {u"PRINT preview", u"#Editor", u"C:\\Apps\\bp.exe", true},
        {u"About kestrix", u"#Editor", u"C:\\Apps\\bp.exe", true},
        {u"Untitled - Notepad", u"#Notepad", u"C:\\Windows\\notepad.exe", false},
        {u"cmd", u"#ConsoleWindowClass", u"C:\\Windows\\System32\\cmd.exe", true},
        {u"cmd", u"#MyConsoleWindowClass", u"C:\\Apps\\term.exe", false},
        {u"Gadgets", u"#SidebarExtra", u"C:\\Apps\\gadgets.exe", true},
        {u"Files", u"#CabinetWClass", u"C:\\Windows\\explorer.exe", true},
        {u"Files", u"#Other", u"C:\\Tools\\myexplorer.exe", true},
        {u"explorer.exe", u"#Other", u"C:\\Games\\game.exe", false},
        {u"", u"#", u"", false},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(r.list.IsBlocked(p.caption, p.classKey, p.imagePath), p.blocked) << sim::U8(p.caption) << " "
                                                                                   << sim::U8(p.classKey);
    }
    EXPECT_EQ(r.sim.world.fileOpens.at(0).second, w32::kFileShareRead);
}

TEST(BlockList, NothingIsBlockedWithoutAList) {
    Rig r;
    EXPECT_FALSE(r.Caption(u"Print"));
    r.Load();
    EXPECT_TRUE(r.Caption(u"Print"));
    r.list.FreeBlockList();
    EXPECT_FALSE(r.Caption(u"Print"));
    EXPECT_FALSE(r.list.IsBlocked(u"", u"#ConsoleWindowClass", u"C:\\Windows\\explorer.exe"));
}

TEST(BlockList, LinesOfTheUserFile) {
    struct Case {
        const char* name;
        Text file;
        std::vector<std::pair<Text, bool>> captions;  // caption: blocked
        std::vector<BlockRow> userRows;
        std::size_t builtInRowsLeft;
    };
    const Case cases[] = {
        {"an unquoted pattern removes its built-in row", u"-,Print\r\n", {{u"Print", false}, {u"Page Setup", true}}, {},
         17},
        {"a removal ignores the case of ASCII letters", u"-,pRINT", {{u"Print", false}}, {}, 17},
        {"a quoted pattern with a blank removes its row", u"-,\"Page Setup\"", {{u"Page Setup", false}, {u"Print", true}},
         {}, 17},
        {"the same pattern unquoted is split at the blank and removes nothing", u"-,Page Setup",
         {{u"Page Setup", true}}, {}, 18},
        {"a class pattern without its # removes nothing", u"-,Sidebar", {}, {}, 18},
        {"every first field but - adds a row of the user's, which removals never touch",
         u"+,1,Notepad,a\nx,1,Wordpad,b\n*,1,Paint,c\n,1,Calc,d\n-,Notepad\n-,Paint\n",
         {{u"untitled - NOTEPAD", true}, {u"wordpad", true}, {u"Paint", true}, {u"Calc", true}},
         {{u"+", u"1", u"Notepad", u"a"}, {u"+", u"1", u"Wordpad", u"b"}, {u"+", u"1", u"Paint", u"c"},
          {u"+", u"1", u"Calc", u"d"}},
         18},
        {"blanks between unquoted values separate like commas", u"+ 1 Notepad quick  note",
         {{u"Notepad", true}}, {{u"+", u"1", u"Notepad", u"quick"}}, 18},
        {"a comma that ends the line gives an empty description", u"+,1,Notepad,\n+,1,Wordpad,w",
         {{u"Notepad", true}, {u"Wordpad", true}}, {{u"+", u"1", u"Notepad", u""}, {u"+", u"1", u"Wordpad", u"w"}}, 18},
        {"a blank after that comma ends the reading", u"+,1,Notepad, \n+,1,Wordpad,w",
         {{u"Notepad", false}, {u"Wordpad", false}}, {}, 18},
        {"three fields end the reading; earlier lines stay",
         u"-,Print\n+,1,Wordpad,w\n+,1,Notepad\n-,Kestrix\n+,1,Calc,c",
         {{u"Print", false}, {u"Wordpad", true}, {u"Notepad", false}, {u"Kestrix", true}, {u"Calc", false}},
         {{u"+", u"1", u"Wordpad", u"w"}}, 17},
        {"a removal with one field ends the reading", u"-\n+,1,Notepad,n", {{u"Notepad", false}}, {}, 18},
        {"kind 3 and a kind of a blank and 1 never match", u"+,3,Notepad,n\n+,\" 1\",Notepad,n",
         {{u"Notepad", false}}, {{u"+", u"3", u"Notepad", u"n"}, {u"+", u" 1", u"Notepad", u"n"}}, 18},
        {"an empty pattern never matches", u"+,1,\"\",n", {{u"Anything", false}, {u"", false}},
         {{u"+", u"1", u"", u"n"}}, 18},
        {"empty and blank lines are skipped wherever they stand", u"\r\n  \t \r\n+,1,Notepad,n\r\n\r\n\t\r\n+,1,Calc,c",
         {{u"Notepad", true}, {u"Calc", true}}, {{u"+", u"1", u"Notepad", u"n"}, {u"+", u"1", u"Calc", u"c"}}, 18},
        {"a value holding a double quote is carried exactly", u"+,1,\"say \"\"hi\"\"\",\"a \"\"b\"\"\"",
         {{u"They SAY \"HI\" now", true}, {u"say hi", false}}, {{u"+", u"1", u"say \"hi\"", u"a \"b\""}}, 18},
        {"only ASCII letters fold", u"+,1,\u00C9t\u00E9,n",
         {{u"\u00C9t\u00E9", true}, {u"\u00C9T\u00E9", true}, {u"\u00E9t\u00E9", false}},
         {{u"+", u"1", u"\u00C9t\u00E9", u"n"}}, 18},
    };
    for (const Case& c : cases) {
        Rig r;
        r.Write(c.file);
        r.Load();
        for (const auto& [caption, blocked] : c.captions) EXPECT_EQ(r.Caption(caption), blocked) << c.name << ": " << sim::U8(caption);
        EXPECT_EQ(r.UserRows(), c.userRows) << c.name;
        EXPECT_EQ(r.list.Rows().size() - r.UserRows().size(), c.builtInRowsLeft) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(BlockList, OneRemovalTakesEveryBuiltInRowOfThatPatternAndNothingOnceAllAreGone) {
    Rig r;
    Text file;
    for (const BlockRow& row : DefaultBlockRows()) file += u"-,\"" + row.pattern + u"\"\r\n";
    // With no built-in row left, a removal of one field no longer ends the reading.
    file += u"-\r\n+,1,Notepad,n\r\n";
    r.Write(file);
    r.Load();
    EXPECT_EQ(r.list.Rows(), (std::vector<BlockRow>{{u"+", u"1", u"Notepad", u"n"}}));
    EXPECT_FALSE(r.list.IsBlocked(u"Print", u"#ConsoleWindowClass", u"C:\\Windows\\explorer.exe"));
}

TEST(BlockList, Encodings) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<BlockRow> userRows;
    };
    const std::string utf8Cafe = "+,1,Caf\xC3\xA9,n\n+,1,Calc,c";
    const Case cases[] = {
        {"UTF-16 little-endian with its mark is read in full",
         Encode(u"+,1,\u0416\u00E9,n\r\n-,Print\r\n+,2,\u4E2D.exe,w", Encoding::Utf16Le),
         {{u"+", u"1", u"\u0416\u00E9", u"n"}, {u"+", u"2", u"\u4E2D.exe", u"w"}}},
        {"UTF-8 without a mark is read in the ANSI code page",
         std::vector<std::uint8_t>(utf8Cafe.begin(), utf8Cafe.end()),
         {{u"+", u"1", u"Caf\u00C3\u00A9", u"n"}, {u"+", u"1", u"Calc", u"c"}}},
        {"UTF-8 with its mark", Encode(u"+,1,Caf\u00E9,n", Encoding::Utf8Bom), {{u"+", u"1", u"Caf\u00E9", u"n"}}},
        {"UTF-8 with its mark and an invalid sequence is not read at all",
         {0xEF, 0xBB, 0xBF, '+', ',', '1', ',', 'N', ',', 'n', '\n', '+', ',', '1', ',', 0xC3, 0x28, ',', 'n'},
         {}},
    };
    for (const Case& c : cases) {
        Rig r;
        r.Write(c.bytes);
        r.Load();
        EXPECT_EQ(r.UserRows(), c.userRows) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << c.name;
    }
    Rig r;
    r.Write(std::vector<std::uint8_t>(utf8Cafe.begin(), utf8Cafe.end()));
    r.Load();
    EXPECT_FALSE(r.Caption(u"Caf\u00E9"));
    EXPECT_TRUE(r.Caption(u"Caf\u00C3\u00A9 menu"));
}

TEST(BlockList, AFileThatCannotBeReadLeavesTheBuiltInRows) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
    };
    const Case cases[] = {
        {"no file", [](Rig&) {}},
        {"another program holds it open for writing",
         [](Rig& r) {
             r.Write(u"-,Print\n+,1,Notepad,n");
             r.sim.world.files[sim::Upper(r.path)].openForWriting = true;
         }},
        {"larger than its cap",
         [](Rig& r) {
             std::vector<std::uint8_t> bytes = Encode(u"-,Print\n+,1,Notepad,n\n", Encoding::Ansi);
             bytes.resize(kMaxBlockListFileBytes + 1, ' ');
             r.Write(bytes);
         }},
    };
    for (const Case& c : cases) {
        Rig r;
        c.arrange(r);
        r.Load();
        EXPECT_EQ(r.list.Rows(), DefaultBlockRows()) << c.name;
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(BlockList, AReloadReplacesTheWholeList) {
    Rig r;
    r.Write(u"+,1,Notepad,n");
    r.Load();
    r.Write(u"+,1,Calc,c");
    r.Load();
    EXPECT_EQ(r.UserRows(), (std::vector<BlockRow>{{u"+", u"1", u"Calc", u"c"}}));
    EXPECT_EQ(r.list.Rows().size(), 19u);
}

TEST(BlockListReloadStage, RebuildsOnlyWhenFlaggedAndClearsTheFlag) {
    Rig r;
    r.Load();
    r.Write(u"-,Print");

    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_TRUE(r.Caption(u"Print"));  // no flag: no rebuild
    EXPECT_EQ(r.sim.world.Value(kSettings, u"ReloadList"), nullptr);

    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_FALSE(r.Caption(u"Print"));
    EXPECT_FALSE(r.settings.RegReadBool(u"ReloadList", true));
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u);
}

TEST(BlockListReloadStage, AFileThatIsGoneFallsBackToTheBuiltInRowsAndClearsTheFlag) {
    Rig r;
    r.Write(u"-,Print");
    r.Load();
    r.sim.world.files.clear();
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_EQ(r.list.Rows(), DefaultBlockRows());
    EXPECT_FALSE(r.settings.RegReadBool(u"ReloadList", true));
}

TEST(BlockListReloadStage, AFlagThatCannotBeClearedRebuildsOnlyWhenTheFileChanges) {
    Rig r;
    r.Load();
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    r.sim.world.Key(kSettings).denyWrite = true;
    r.Write(u"-,Print");
    const auto stage = [&r] { BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell); };
    stage();
    EXPECT_FALSE(r.Caption(u"Print"));
    const std::size_t opens = r.sim.world.fileOpens.size();
    for (int i = 0; i < 100; ++i) stage();
    EXPECT_EQ(r.sim.world.fileOpens.size(), opens) << "an unchanged file is not read again";

    r.Write(u"-,Kestrix");  // another size
    stage();
    EXPECT_TRUE(r.Caption(u"Print"));
    EXPECT_FALSE(r.Caption(u"Kestrix"));
    r.Write(u"-,fsx.exe");  // the same size, saved later
    r.sim.world.files[sim::Upper(r.path)].lastWriteTime = 2;
    stage();
    EXPECT_TRUE(r.Caption(u"Kestrix"));
    EXPECT_FALSE(r.list.IsBlocked(u"x", u"#x", u"C:\\Games\\fsx.exe"));
    EXPECT_EQ(r.sim.world.fileOpens.size(), opens + 2);
    EXPECT_TRUE(r.settings.RegReadBool(u"ReloadList", false));

    // Once the key takes writes again, the flag is cleared without another
    // reading, and the rule of every flagged rebuild is back.
    r.sim.world.Key(kSettings).denyWrite = false;
    stage();
    EXPECT_FALSE(r.settings.RegReadBool(u"ReloadList", true));
    EXPECT_EQ(r.sim.world.fileOpens.size(), opens + 2);
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    stage();
    EXPECT_EQ(r.sim.world.fileOpens.size(), opens + 3);
}

TEST(BlockListReloadStage, AnUnusableFileIsNotTriedAgainEachTickWhileTheFlagIsStuck) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
    };
    const Case cases[] = {
        {"no file", [](Rig&) {}},
        {"past the size cap",
         [](Rig& r) { r.Write(std::vector<std::uint8_t>(kMaxBlockListFileBytes + 1, '\n')); }},
        {"invalid UTF-8", [](Rig& r) { r.Write(std::vector<std::uint8_t>{0xEF, 0xBB, 0xBF, 0xC3, 0x28}); }},
    };
    for (const Case& c : cases) {
        Rig r;
        c.arrange(r);
        r.sim.world.SetDword(kSettings, u"ReloadList", 1);
        r.sim.world.Key(kSettings).denyWrite = true;
        for (int i = 0; i < 10; ++i) BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
        EXPECT_EQ(r.sim.world.fileOpens.size(), 1u) << c.name;
        EXPECT_EQ(r.list.Rows(), DefaultBlockRows()) << c.name;
    }
}

TEST(BlockListReloadStage, AFileHeldByAnotherProgramKeepsTheRowsLoadedBeforeAndTheRequestPending) {
    Rig r;
    r.Write(u"-,Print\n+,1,Notepad,n");
    r.Load();
    const std::vector<BlockRow> before = r.list.Rows();
    r.Write(u"+,1,Calc,c");
    r.sim.world.files[sim::Upper(r.path)].locked = true;
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    const auto stage = [&r] { BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell); };
    stage();
    stage();
    EXPECT_EQ(r.list.Rows(), before);
    EXPECT_TRUE(r.settings.RegReadBool(u"ReloadList", false));
    ASSERT_FALSE(r.sim.world.debugLines.empty());
    EXPECT_NE(sim::U8(r.sim.world.debugLines.front()).find("held by another program"), std::string::npos);

    r.sim.world.files[sim::Upper(r.path)].locked = false;
    stage();
    EXPECT_EQ(r.UserRows(), (std::vector<BlockRow>{{u"+", u"1", u"Calc", u"c"}}));
    EXPECT_TRUE(r.Caption(u"Print"));
    EXPECT_FALSE(r.settings.RegReadBool(u"ReloadList", true));
    EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u);
}

TEST(BlockListReloadStage, AFileHeldAtTheFirstLoadIsReadOnceItIsFreeWithoutAFlag) {
    Rig r;
    r.Write(u"+,1,Notepad,n");
    r.sim.world.files[sim::Upper(r.path)].locked = true;
    EXPECT_EQ(r.list.LoadBlockList(r.path), BlockListLoad::Busy);
    EXPECT_EQ(r.list.Rows(), DefaultBlockRows());
    r.sim.world.files[sim::Upper(r.path)].locked = false;
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_TRUE(r.Caption(u"Untitled - Notepad"));
    EXPECT_EQ(r.sim.world.Value(kSettings, u"ReloadList"), nullptr) << "no flag was set, none is written";
    const std::size_t opens = r.sim.world.fileOpens.size();
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_EQ(r.sim.world.fileOpens.size(), opens);
}

// Lines of the given length (without their break) until the file has the given rows.
std::vector<std::uint8_t> FileOfRows(std::size_t rows, std::size_t lineChars, const std::string& tail = "") {
    std::string text = "+,1,Notepad,n\n";
    for (std::size_t i = 1; i < rows; ++i) {
        std::string line = "+,1,x,";
        line.resize(lineChars, 'd');
        text += line + "\n";
    }
    text += tail;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(BlockList, InputPastACapCountsAsUnreadable) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool read;
    };
    std::vector<std::uint8_t> fullFile = FileOfRows(2, 20);
    fullFile.resize(kMaxBlockListFileBytes, '\n');  // blank lines count as no rows
    std::vector<std::uint8_t> overFullFile = fullFile;
    overFullFile.push_back('\n');
    std::string longLine = "+,1,Notepad,";
    longLine.resize(kMaxBlockListLineChars, 'd');
    const std::string longerLine = longLine + "d";
    Text longUtf16Line = u"+,1,Notepad,";
    longUtf16Line.resize(kMaxBlockListLineChars, u'\u00E9');
    const Case cases[] = {
        {"a file of exactly the size cap", fullFile, true},
        {"one byte more", overFullFile, false},
        {"a line of exactly the line cap", std::vector<std::uint8_t>(longLine.begin(), longLine.end()), true},
        {"one character more", std::vector<std::uint8_t>(longerLine.begin(), longerLine.end()), false},
        {"a UTF-16 line of exactly the cap in code units", Encode(longUtf16Line + u"\r\n", Encoding::Utf16Le), true},
        {"a long line after good ones", FileOfRows(3, 10, longerLine), false},
        {"exactly the row cap", FileOfRows(kMaxBlockListRows, 8), true},
        {"the row cap and blank lines", FileOfRows(kMaxBlockListRows, 8, "\n \n\t\r\n"), true},
        {"one row more", FileOfRows(kMaxBlockListRows + 1, 8), false},
        {"one removal line more", FileOfRows(kMaxBlockListRows, 8, "-,Print\n"), false},
    };
    for (const Case& c : cases) {
        Rig r;
        r.Write(c.bytes);
        EXPECT_EQ(r.list.LoadBlockList(r.path), c.read ? BlockListLoad::Read : BlockListLoad::Unreadable) << c.name;
        EXPECT_EQ(r.Caption(u"Untitled - Notepad"), c.read) << c.name;
        if (!c.read) {
            EXPECT_EQ(r.list.Rows(), DefaultBlockRows()) << c.name;
        }
        EXPECT_EQ(r.sim.world.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(BlockList, RemovalsAfterManyRowsTouchOnlyTheBuiltInRows) {
    // Built-in rows stay in front of the user's: a removal never reaches a user row.
    Rig r;
    r.Write(u"+,1,Print,mine\n-,Print\n-,Kestrix\n+,1,Kestrix,\"mine too\"\n-,Kestrix");
    r.Load();
    EXPECT_EQ(r.UserRows(), (std::vector<BlockRow>{{u"+", u"1", u"Print", u"mine"}, {u"+", u"1", u"Kestrix", u"mine too"}}));
    EXPECT_EQ(r.list.Rows().size(), 18u);
}

// The organisation's BlockRows (REG_MULTI_SZ under the policy key).
void SetPolicyRows(sim::SimWorld& world, const std::vector<Text>& lines) {
    sim::RegValue value;
    value.type = kRegMultiSz;
    for (const Text& line : lines) {
        for (char16_t c : line) {
            value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
            value.data.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        value.data.insert(value.data.end(), {0, 0});
    }
    value.data.insert(value.data.end(), {0, 0});
    world.Key(u"HKLM\\Software\\Policies\\VELMOR\\Kestrix").values[u"BLOCKROWS"] = {u"BlockRows", value};
}

TEST(BlockListPolicy, PolicyRowsFollowTheUsersAndAreReadAgainAtEveryReload) {
    Rig r;
    r.Write(u"+,1,Notepad,n\r\n-,Print");
    SetPolicyRows(r.sim.world, {u"+,2,\\Games\\,g", u"-,Kestrix", u"  ", u"+,0,#Chess,c", u"+,1,broken", u"+,1,Late,l"});
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);

    const std::vector<BlockRow> rows = r.list.Rows();
    ASSERT_EQ(rows.size(), 17u + 1u + 2u);  // Print taken away by the user; a policy takes nothing away
    EXPECT_EQ(rows[17], (BlockRow{u"+", u"1", u"Notepad", u"n"}));
    EXPECT_EQ(rows[18], (BlockRow{u"P", u"2", u"\\Games\\", u"g"}));
    EXPECT_EQ(rows[19], (BlockRow{u"P", u"0", u"#Chess", u"c"}));  // the malformed line ends them
    EXPECT_TRUE(r.Caption(u"Kestrix"));
    EXPECT_TRUE(r.list.IsBlocked(u"game", u"#X", u"D:\\Games\\a.exe"));
    EXPECT_EQ(r.sim.world.debugLines.size(), 1u);

    // Lifted: the next reload has the user's rows only; also without a file.
    r.sim.world.Key(u"HKLM\\Software\\Policies\\VELMOR\\Kestrix").values.clear();
    r.sim.world.files.clear();
    SetPolicyRows(r.sim.world, {u"+,1,Calc,c"});
    r.sim.world.SetDword(kSettings, u"ReloadList", 1);
    BlockListReloadStage(r.list, r.settings, r.sim.system, r.sim.shell);
    EXPECT_EQ(r.list.Rows().size(), 19u);
    EXPECT_EQ(r.list.Rows().back(), (BlockRow{u"P", u"1", u"Calc", u"c"}));
}

TEST(BlockListPolicy, PolicyRowsPastTheCapsAddNothingAndLeaveALine) {
    Rig r;
    r.Write(u"+,1,Notepad,n");
    SetPolicyRows(r.sim.world, {u"+,1,a,b", Text(kMaxBlockListLineChars + 1, u'x')});
    r.list.LoadBlockList(r.path, r.settings.Policies().BlockRows());
    EXPECT_EQ(r.list.Rows().size(), 19u);
    ASSERT_EQ(r.sim.world.debugLines.size(), 1u);
    EXPECT_NE(sim::U8(r.sim.world.debugLines[0]).find("BlockRows"), std::string::npos);
}

}  // namespace
}  // namespace kx
