// Control identifiers of the main program's windows. The integration tests
// drive the windows through these, as a user would through the controls.
#pragma once

namespace kxapp {

// Main window (TKXMainForm)
constexpr int kIdCurrentTitle = 100;
constexpr int kIdCurrentCaption = 101;
constexpr int kIdCurrentPath = 102;
constexpr int kIdAddCurrent = 103;
constexpr int kIdTrayStatus = 104;
constexpr int kIdStartTray = 105;
constexpr int kIdLastLookLabel = 106;
constexpr int kIdLastLook = 107;
constexpr int kIdOpenSettings = 110;
constexpr int kIdOpenAdvanced = 111;
constexpr int kIdOpenBlockList = 112;
constexpr int kIdOpenStats = 113;
constexpr int kIdOpenTest = 114;
constexpr int kIdOpenHelp = 115;
constexpr int kIdOpenAbout = 116;

// Shared by every window
constexpr int kIdClose = 2;  // IDCANCEL: Esc closes the window too
constexpr int kIdSave = 1;   // IDOK: Enter saves
constexpr int kIdStatus = 90;

// Settings (TKXSettingsForm)
constexpr int kIdPriorityLabel = 200;
constexpr int kIdPriority = 201;  // combo box: item i is level i - 2
constexpr int kIdRealtimeWarning = 202;
constexpr int kIdIdeal = 203;
constexpr int kIdTrayIcon = 204;
constexpr int kIdLanguageLabel = 205;
constexpr int kIdLanguage = 206;  // combo box: english, french, korean, prtbrzl, russian
constexpr int kIdStartWithWindows = 207;
constexpr int kIdInstantBoost = 208;
constexpr int kIdRestoreOnExit = 209;
constexpr int kIdCorePlacement = 210;
constexpr int kIdShowStatus = 211;
constexpr int kIdBusiestCore = 212;
constexpr int kIdFollowTheme = 213;

// Advanced settings (TKXAdvancedSettingsForm): row r (0 background, 1 grid, 2 bars, 3 busiest processor)
constexpr int kIdColorsLabel = 300;
constexpr int kIdColorLabel = 310;   // + r
constexpr int kIdColorSwatch = 320;  // + r
constexpr int kIdColorText = 330;    // + r
constexpr int kIdColorChoose = 340;  // + r
constexpr int kIdColorDefault = 350; // + r

// Block list (TKXAddBlockListForm)
constexpr int kIdBuiltInLabel = 400;
constexpr int kIdBuiltIn = 401;  // list view with check boxes, DefaultBlockRows order
constexpr int kIdUserLabel = 402;
constexpr int kIdUserRows = 403;  // list view
constexpr int kIdKindLabel = 404;
constexpr int kIdKind = 405;  // combo box: item i is kind "i"
constexpr int kIdPatternLabel = 406;
constexpr int kIdPattern = 407;
constexpr int kIdDescriptionLabel = 408;
constexpr int kIdDescription = 409;
constexpr int kIdAdd = 410;
constexpr int kIdChange = 411;
constexpr int kIdDelete = 412;
constexpr int kIdWindowsLabel = 413;
constexpr int kIdWindows = 414;  // combo box of running windows
constexpr int kIdUseWindow = 415;
constexpr int kIdRefreshWindows = 416;

// Statistics (TKXStatsForm): label and value of row r
constexpr int kIdStatLabel = 500;
constexpr int kIdStatValue = 520;

// Self-check (TKXTestForm): label and result of check r (0 tray, 1 settings, 2 file)
constexpr int kIdCheckLabel = 600;
constexpr int kIdCheckResult = 610;
constexpr int kIdRunChecks = 620;

// About (TKXAboutForm)
constexpr int kIdProduct = 700;
constexpr int kIdVersion = 701;
constexpr int kIdMaker = 702;
constexpr int kIdCheckUpdates = 703;

}  // namespace kxapp
