// The colours the graph is drawn in: the user's, where the settings hold
// them; otherwise the release's defaults or, with FollowTheme on and a dark
// system theme, a dark set that reads well on the dark taskbar of Windows 10
// and 11.
#pragma once

#include <optional>

#include "config/WatchedKey.h"
#include "platform/Types.h"

namespace kx {

// The dark set: a field near the dark taskbar's own grey, a grid a step
// lighter, light blue bars and the busiest processor's row in red. Frame
// greys stay the graph's own.
inline constexpr char16_t kDarkBackgroundColor[] = u"$00202020";
inline constexpr char16_t kDarkGridColor[] = u"$00505050";
inline constexpr char16_t kDarkBarColor[] = u"$00FFC24C";

// The texts the drawing gets; each a colour text as the settings hold it.
struct GraphColorTexts {
    Text background;
    Text grid;
    Text bar;
    Text busiest;
};

// The colour text one colour setting gives: the stored text when it is set
// (not missing, not empty); else the dark set's colour when followTheme is on
// and the system reports a dark theme (systemUsesLightTheme holds false);
// else the release's default. A dark colour of empty text keeps the default.
Text ChooseColorText(const Text& stored, const Text& releaseDefault, const Text& darkColor, bool followTheme,
                     std::optional<bool> systemUsesLightTheme);

// Where Windows 10 and later keep the user's theme, below HKEY_CURRENT_USER.
inline constexpr char16_t kPersonalizeKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

// SystemUsesLightTheme of that key: false for a dark taskbar; nothing when
// the value is missing (Windows 7 and 8, Wine) or no REG_DWORD.
std::optional<bool> ReadSystemUsesLightTheme(WatchedKey& personalizeKey);

}  // namespace kx
