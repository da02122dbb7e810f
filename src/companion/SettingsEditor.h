// The settings as the main program edits them: every value KestrixTray reads,
// shown with the default KestrixTray would use, and written only as a valid
// value of the registry type KestrixTray reads (REG_DWORD for integers and
// booleans, REG_SZ for texts). Unlike KestrixTray's own store, every write
// here reports whether it took, so the user learns of a refused write.
#pragma once

#include <array>
#include <cstdint>

#include "platform/RegistryApi.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

enum class SettingWrite {
    Written,
    Invalid,  // not a value KestrixTray accepts; nothing was written
    Refused,  // the registry refused the write (typically no rights)
};

// The caption tables' names, as Language stores them.
extern const std::array<const char16_t*, 5> kLanguageNames;

// The logon entry the installer writes: HKLM ...\Run, value "KestrixTray".
extern const char16_t kRunKey[];
extern const char16_t kRunValueName[];
// The uninstall record setup writes: HKLM ...\Uninstall\Kestrix, value "InstallLocation".
extern const char16_t kUninstallKey[];

struct SettingsSnapshot {
    std::int32_t processorPriority = 2;
    bool processorIdeal = true;
    bool loadTrayIcon = true;
    bool loadKestrix = true;
    bool instantBoost = false;   // raise at the foreground change, not at the next look
    bool restoreOnExit = false;  // put the raised program back when KestrixTray ends
    Text backgroundColor;
    Text gridColor;
    Text barColor;
    Text language;  // lower case
    Text handle;    // the window KestrixTray accelerated last
};

class SettingsEditor {
public:
    SettingsEditor(IRegistry& registry, ISystemInfo& system) : registry_(registry), system_(system) {}

    // Every value, or KestrixTray's default where a value is missing or of
    // the wrong type.
    SettingsSnapshot Read() const;

    // -2 (idle) to 3 (realtime).
    SettingWrite WritePriority(std::int32_t level);
    // ProcessorIdeal, LoadTrayIcon, LoadKestrix, ReloadList, InstantBoost or RestoreOnExit.
    SettingWrite WriteSwitch(const Text& name, bool value);
    // BackgroundColor, GridColor or BarColor: any colour text KestrixTray parses.
    SettingWrite WriteColor(const Text& name, const Text& colorText);
    // One of kLanguageNames, in any case of its letters; stored in lower case.
    SettingWrite WriteLanguage(const Text& language);
    // Asks KestrixTray to read the block-list file again at its next tick.
    SettingWrite RequestReload() { return WriteSwitch(u"ReloadList", true); }
    // UpdatedDate as stored (either form); empty when missing.
    Text ReadUpdatedDate() const { return ReadText(u"UpdatedDate", u""); }
    // UpdatedDate in the seconds form: decimal local seconds since 1970.
    SettingWrite WriteUpdatedDate(std::int32_t localSeconds);
    // Whether the settings key can be written at all (a self-check).
    SettingWrite ProbeWrite();

    // The logon entry: "<installed folder>KestrixTray.exe" /start, with the
    // folder setup recorded, never the one a copy of the main program runs
    // from (a copy elsewhere would have every account start it at logon).
    // Invalid, and nothing written, without an installed location.
    bool StartsWithWindows() const;
    SettingWrite SetStartWithWindows(bool start);
    // The uninstall record's InstallLocation with a trailing backslash; empty
    // when there is none, or it is not an absolute folder path.
    Text InstalledFolder() const;

    // A COLORREF (0x00BBGGRR) as the colour text "$00BBGGRR".
    static Text ColorRefToText(std::uint32_t colorRef);
    // The text for a priority level's name in the settings window ("High", ...).
    static bool IsValidPriority(std::int32_t level) { return level >= -2 && level <= 3; }

private:
    long WriteValue(const Text& keyPath, const Text& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size);
    bool ReadValue(const Text& keyPath, const Text& name, std::uint32_t* type, std::vector<std::uint8_t>* data) const;
    Text ReadText(const Text& name, const Text& defaultValue) const;
    std::int32_t ReadInteger(const Text& name, std::int32_t defaultValue) const;

    IRegistry& registry_;
    ISystemInfo& system_;
};

}  // namespace kx
