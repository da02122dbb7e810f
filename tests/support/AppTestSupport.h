// Helpers shared by the application shell's tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/AccelerationStage.h"
#include "config/Settings.h"
#include "sim/SimPlatform.h"

namespace kx::test {

inline const char* kSettingsPath = "HKLM\\SOFTWARE\\VELMOR\\KESTRIX";

// The bytes of one caption table as the repository keeps it.
inline std::vector<std::uint8_t> TableFileBytes(const std::string& name) {
    std::ifstream in(std::string(KX_SOURCE_DIR) + "/resources/captions/" + name + ".txt", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Puts the five tables of the repository into the simulated program's resources.
inline void LoadRealTables(sim::SimWorld& world) {
    for (const char* name : {"ENGLISH", "FRENCH", "KOREAN", "PRTBRZL", "RUSSIAN"}) {
        world.resources[sim::T(name)] = TableFileBytes(name);
    }
}

// A table for the rule cases: plain ASCII lines joined with CR LF.
inline std::vector<std::uint8_t> AsciiTable(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) text += "\r\n";
        text += lines[i];
    }
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// A stored text value as the program reads it; "(missing)" when there is none.
inline Text StoredText(const sim::RegValue* value) {
    if (value == nullptr) return u"(missing)";
    return RegSzText(value->data.data(), value->data.size());
}

// The acceleration stage and the parts it is built from, on one simulated
// Windows, as the stage's tests and those of what follows it set them up.
struct StageParts {
    sim::SimPlatform sim;
    InspectionApi inspection{sim.windows, sim.processes, sim.system, sim.libraries};
    SettingsStore settings{sim.registry};
    BlockList blockList{sim.system, sim.files};
    PriorityControl priority{sim.windows, sim.processes};
    IdealProcessorApi idealApi{sim.registry, sim.system, sim.windows, sim.processes, sim.libraries};
    ProcessorSampler sampler{idealApi};
    AccelerationStage stage{inspection, settings, blockList, priority, sampler};
};

}  // namespace kx::test
