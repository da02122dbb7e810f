// A picture of the simulated Windows as rows of letters, one letter per
// colour of the legend and '?' for any other, so that a test can show the
// whole picture it expects.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/SimWorld.h"

namespace kx::testing_support {

inline std::vector<std::string> PictureLetters(const sim::SimIcon& icon, const std::map<std::uint32_t, char>& legend) {
    std::vector<std::string> rows;
    for (int y = 0; y < icon.height; ++y) {
        std::string row;
        for (int x = 0; x < icon.width; ++x) {
            auto it = legend.find(icon.colorRefs[static_cast<std::size_t>(y * icon.width + x)]);
            row.push_back(it == legend.end() ? '?' : it->second);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace kx::testing_support
