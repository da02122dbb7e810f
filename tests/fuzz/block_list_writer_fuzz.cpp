// The main program's block-list editor over arbitrary file bytes: whatever the
// user's file holds, after the editor has read it, added a row and saved it,
// KestrixTray reads every row the editor shows (unreadable lines no longer
// hide the rows after them), the built-in rows the editor shows as removed,
// and the added row exactly; and no line of the file is lost. Every non-blank
// character of the file is in the saved file, or the editor reported the file
// as not read normally and kept it whole as the backup.
//
// The file's cap, and a file of nothing but line breaks.
// fuzz-cap: 4194304
// fuzz-seed: \n
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "companion/BlockListStore.h"
#include "config/TextRules.h"
#include "engine/BlockList.h"
#include "sim/SimPlatform.h"

namespace {

// How often each non-blank character occurs in the text of bytes.
std::map<char16_t, std::size_t> NonBlankCharacters(const std::vector<std::uint8_t>& bytes, kx::ISystemInfo& system) {
    std::map<char16_t, std::size_t> counts;
    for (const kx::Text& line : kx::ReadTextLines(bytes, system)) {
        for (char16_t c : line) {
            if (c > 32) ++counts[c];
        }
    }
    return counts;
}

// The input as text to its very end: every NUL character made a blank, so
// that nothing after it is cut off, and an odd last byte of UTF-16 completed.
std::vector<std::uint8_t> WithoutNuls(std::vector<std::uint8_t> bytes) {
    const bool le = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool be = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!le && !be) {
        for (auto& b : bytes) {
            if (b == 0) b = ' ';
        }
        return bytes;
    }
    if (bytes.size() % 2 != 0) bytes.push_back(le ? 0 : ' ');
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) bytes[le ? i : i + 1] = ' ';
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::sim::SimPlatform sim;
    sim.world.folders = {u"C:\\PROGRAMDATA", u"C:\\PROGRAMDATA\\VELMOR", u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX"};
    const kx::Text path = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";
    const std::vector<std::uint8_t> input(data, data + size);
    sim.world.files[kx::sim::Upper(path)] = kx::sim::SimFile{input, false};
    {
        kx::BlockListStore store(sim.system, sim.files, sim.clock);
        kx::LoadedBlockList loaded = store.Load(path);
        // A value made of the input: quotes, commas, blanks and all.
        kx::Text value;
        for (std::size_t i = 0; i + 1 < size && value.size() < 64; i += 2) {
            const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (c != u'\r' && c != u'\n' && c != 0) value.push_back(c);
        }
        if (value.empty()) value = u"x";
        const std::size_t foreignBefore = loaded.document.ForeignLines().size();
        if (loaded.document.AddRow(u"1", value, value + u"\"") != kx::RowProblem::None) std::abort();
        const kx::BlockFileState readAs = loaded.state;
        if (readAs == kx::BlockFileState::Missing || readAs == kx::BlockFileState::Busy) std::abort();
        if (store.Save(path, loaded) != kx::SaveResult::Saved) std::abort();
        const auto& saved = sim.world.files[kx::sim::Upper(path)].bytes;
        if (readAs != kx::BlockFileState::Truncated && readAs != kx::BlockFileState::Unreadable) {
            // Nothing of the file is lost: each character is there at least as often.
            const auto before = NonBlankCharacters(WithoutNuls(input), sim.system);
            const auto after = NonBlankCharacters(saved, sim.system);
            for (const auto& [c, count] : before) {
                auto it = after.find(c);
                if (it == after.end() || it->second < count) std::abort();
            }
        }
        if (kx::NeedsKeeping(readAs)) {
            auto backup = sim.world.files.find(kx::sim::Upper(kx::BlockListStore::BackupPath(path)));
            if (backup == sim.world.files.end() || backup->second.bytes != input) std::abort();
        } else if (sim.world.files.count(kx::sim::Upper(kx::BlockListStore::BackupPath(path))) != 0) {
            std::abort();
        }

        kx::BlockList list(sim.system, sim.files);
        list.LoadBlockList(path);
        std::vector<kx::BlockRow> user;
        std::size_t builtIn = 0;
        for (const kx::BlockRow& row : list.Rows()) {
            if (row.origin == u"+") user.push_back(row);
            if (row.origin == u"*") ++builtIn;
        }
        const auto shown = loaded.document.UserRows();
        if (user.size() != shown.size()) std::abort();
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (user[i].kind != shown[i]->kind || user[i].pattern != shown[i]->pattern ||
                user[i].description != shown[i]->description) {
                std::abort();
            }
        }
        if (user.back().pattern != value || user.back().description != value + u"\"") std::abort();
        std::size_t inForce = 0;
        for (const kx::BlockRow& row : kx::DefaultBlockRows()) {
            if (!loaded.document.IsBuiltInRemoved(row.pattern)) ++inForce;
        }
        if (inForce != builtIn) std::abort();
        // Read again, the saved file holds the same foreign lines.
        if (store.Load(path).document.ForeignLines().size() != foreignBefore) std::abort();
    }
    if (sim.world.handles.OpenCount() != 0) std::abort();
    return 0;
}
