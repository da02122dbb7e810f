#include "display/GraphColors.h"

namespace kx {

Text ChooseColorText(const Text& stored, const Text& releaseDefault, const Text& darkColor, bool followTheme,
                     std::optional<bool> systemUsesLightTheme) {
    if (!stored.empty()) return stored;  // the user's colour always wins
    // A missing theme value (Windows 7 and 8, Wine) keeps the release's look.
    const bool dark = followTheme && systemUsesLightTheme.has_value() && !*systemUsesLightTheme;
    return dark && !darkColor.empty() ? darkColor : releaseDefault;
}

std::optional<bool> ReadSystemUsesLightTheme(WatchedKey& personalizeKey) {
    const std::optional<std::uint32_t> light = DwordValue(personalizeKey.Read(u"SystemUsesLightTheme", 4));
    if (!light) return std::nullopt;
    return *light != 0;
}

}  // namespace kx
