#include "sim/SimDrawing.h"

namespace kx::sim {

KHandle SimDrawing::CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                         const std::uint8_t* alpha) {
    if (world_.iconCreationFails || width <= 0 || height <= 0 || colorRefs == nullptr) return 0;
    SimIcon icon;
    icon.width = width;
    icon.height = height;
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    icon.colorRefs.assign(colorRefs, colorRefs + count);
    if (alpha != nullptr) icon.alpha.assign(alpha, alpha + count);
    KHandle handle = world_.handles.Open(HandleKind::Icon, 0);
    world_.icons[handle] = std::move(icon);
    return handle;
}

KHandle SimDrawing::CopyIcon(KHandle icon) {
    if (icon == world_.applicationIcon) {
        KHandle copy = world_.handles.Open(HandleKind::Icon, 0);
        world_.icons[copy] = SimIcon{};
        return copy;
    }
    auto it = world_.icons.find(icon);
    if (it == world_.icons.end() || world_.handles.Find(icon, HandleKind::Icon) == nullptr) return 0;
    KHandle copy = world_.handles.Open(HandleKind::Icon, 0);
    SimIcon picture = it->second;
    world_.icons[copy] = std::move(picture);
    return copy;
}

bool SimDrawing::DestroyIcon(KHandle icon) {
    if (icon == world_.applicationIcon) return true;
    world_.icons.erase(icon);
    return world_.handles.Close(icon, HandleKind::Icon);
}

KHandle SimDrawing::LoadApplicationIcon() { return world_.applicationIcon; }

}  // namespace kx::sim
