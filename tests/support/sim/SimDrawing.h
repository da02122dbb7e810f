#pragma once
#include "sim/SimWorld.h"

namespace kx::sim {

class SimDrawing : public IDrawing {
public:
    explicit SimDrawing(SimWorld& world) : world_(world) {}
    KHandle CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                 const std::uint8_t* alpha) override;
    KHandle CopyIcon(KHandle icon) override;
    bool DestroyIcon(KHandle icon) override;
    KHandle LoadApplicationIcon() override;

private:
    SimWorld& world_;
};

}  // namespace kx::sim
