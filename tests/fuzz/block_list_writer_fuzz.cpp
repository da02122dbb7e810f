// The main program's block-list editor over arbitrary file bytes: whatever the
// user's file holds, after the editor has read it, added a row and saved it,
// KestrixTray reads every row the editor shows (unreadable lines no longer
// hide the rows after them), the built-in rows the editor shows as removed,
// and the added row exactly; and no line of the file is lost.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "companion/BlockListStore.h"
#include "engine/BlockList.h"
#include "sim/SimPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::sim::SimPlatform sim;
    sim.world.folders = {u"C:\\PROGRAMDATA", u"C:\\PROGRAMDATA\\VELMOR", u"C:\\PROGRAMDATA\\VELMOR\\KESTRIX"};
    const kx::Text path = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";
    sim.world.files[kx::sim::Upper(path)] = kx::sim::SimFile{std::vector<std::uint8_t>(data, data + size), false};
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
        if (store.Save(path, loaded.document, loaded.state) != kx::SaveResult::Saved) {
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
