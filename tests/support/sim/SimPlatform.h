// The whole simulated Windows: the world and one implementation per concern.
#pragma once

#include "sim/SimDrawing.h"
#include "sim/SimLibraries.h"
#include "sim/SimNetwork.h"
#include "sim/SimProcesses.h"
#include "sim/SimRegistry.h"
#include "sim/SimShell.h"
#include "sim/SimSystem.h"
#include "sim/SimWindows.h"
#include "sim/SimWorld.h"

namespace kx::sim {

class SimPlatform {
public:
    SimWorld world;
    SimRegistry registry{world};
    SimWindows windows{world};
    SimProcesses processes{world};
    SimSystem system{world};
    SimFiles files{world};
    SimLibraries libraries{world};
    SimShell shell{world};
    SimDrawing drawing{world};
    SimNetwork network{world};
    SimClock clock{world};
    SimDebugOutput debugOutput{world};
    DebugTrace trace{debugOutput, clock};

    Platform api() {
        return Platform{registry, windows, processes, system, files, libraries, shell, drawing, network, clock, trace};
    }
};

}  // namespace kx::sim
