// The block list over arbitrary file bytes, then matched against texts taken
// from the same input.
//
// The list that costs a search row by row the most, at every cap: rows that
// almost match a subject of "a"s everywhere.
// fuzz-cap: 4194304
// fuzz-seed: +,1,aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab,d\n
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/BlockList.h"
#include "sim/SimPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::sim::SimPlatform sim;
    const kx::Text path = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";
    sim.world.files[kx::sim::Upper(path)] = kx::sim::SimFile{std::vector<std::uint8_t>(data, data + size), false};
    {
        kx::BlockList list(sim.system, sim.files);
        list.LoadBlockList(path);
        if (size == 0 && !(list.Rows() == kx::DefaultBlockRows())) std::abort();

        // Subjects: pieces of the input read as UTF-16.
        kx::Text subject;
        for (std::size_t i = 0; i + 1 < size && subject.size() < 300; i += 2) {
            subject.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
        const kx::Text half = subject.substr(0, subject.size() / 2);
        list.IsBlocked(subject, u"#" + half, half);
        list.IsBlocked(half, subject, subject);

        // Texts of one character of a row, as long as a caption and a path can
        // be: what rows that almost match everywhere make a row-by-row search pay.
        const std::vector<kx::BlockRow> rows = list.Rows();
        if (!rows.empty() && !rows.back().pattern.empty()) {
            const char16_t c = rows.back().pattern[0];
            list.IsBlocked(kx::Text(254, c), u"#" + kx::Text(254, c), kx::Text(32767, c));
        }

        // A caption row with a pattern always blocks a caption that is its pattern.
        for (const kx::BlockRow& row : rows) {
            if (row.kind == u"1" && !row.pattern.empty() && !list.IsBlocked(row.pattern, u"#", u"")) std::abort();
        }
        list.FreeBlockList();
        if (list.IsBlocked(u"Print", u"#ConsoleWindowClass", u"explorer.exe")) std::abort();
    }
    if (sim.world.handles.OpenCount() != 0) std::abort();
    return 0;
}
