// The icon's newer looks in the tray stage: colours that follow a dark
// theme (FollowTheme), the busiest processor's row (BusiestCore), and the
// picture's size at the taskbar's scale.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "SystemReadings.h"
#include "display/GraphColors.h"
#include "display/IconSize.h"
#include "display/TrayIconStages.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using namespace testing_support;
using sim::SimPlatform;

const Text kSettingsPath = u"HKLM\\Software\\VELMOR\\Kestrix";
const Text kThemePath = u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr std::uint32_t kGray = 0x00808080;
constexpr std::uint32_t kBlue = 0x00FF0000;
constexpr std::uint32_t kDarkField = 0x00202020;
constexpr std::uint32_t kDarkGrid = 0x00505050;
constexpr std::uint32_t kModernBar = 0x00FF8000;
constexpr std::uint32_t kDarkBar = 0x00FFC24C;

class LooksTest : public ::testing::Test {
protected:
    void SetUp() override {
        readings.Install(sim.world);
        stages.FollowThemeWith(&themeKey);
        stages.ShowBusiestCoreWith(&busiest);
    }
    // The picture of the latest refresh, 0x00BBGGRR.
    std::uint32_t Pixel(int x, int y) const {
        return renderer.Picture().at(static_cast<std::size_t>(y * renderer.PictureWidth() + x));
    }
    // A pixel of the field in row 1: a column of 1 to 3 that the latest
    // drawing's grid (which moves one column a drawing) left alone.
    std::uint32_t FieldPixel() const {
        const int gridColumn = renderer.State().GridPhase % 3 + 1;
        return Pixel(gridColumn % 3 + 1, 1);
    }

    SimPlatform sim;
    SystemReadings readings;
    SettingsStore settings{sim.registry};
    LoadMeter meter{sim.system, sim.libraries};
    BusiestCoreMeter busiest{sim.system, sim.libraries};
    WatchedKey themeKey{sim.registry, w32::kHkeyCurrentUser, kPersonalizeKey, w32::kKeyRead};
    IconRenderer renderer{sim.windows, sim.drawing};
    TrayIcon trayIcon{sim.shell, sim.windows, sim.drawing, 0x30030, 0x8001};
    TrayIconStages stages{sim.windows, sim.clock, sim.system, settings, trayIcon, meter, renderer, &sim.trace};
};

struct ThemeCase {
    const char* name;
    std::optional<std::uint32_t> followTheme;
    std::optional<std::uint32_t> lightTheme;  // SystemUsesLightTheme
    std::optional<Text> background;           // BackgroundColor as stored
    std::uint32_t field;
    std::uint32_t grid;
    std::uint32_t bar;
};

class ThemeCases : public LooksTest, public ::testing::WithParamInterface<ThemeCase> {};

TEST_P(ThemeCases, TheDarkSetTakesOnlyTheColoursTheUserLeftUnsetAndOnlyWithADarkTheme) {
    const ThemeCase& c = GetParam();
    if (c.followTheme) sim.world.SetDword(kSettingsPath, u"FollowTheme", *c.followTheme);
    if (c.lightTheme) sim.world.SetDword(kThemePath, u"SystemUsesLightTheme", *c.lightTheme);
    if (c.background) sim.world.SetString(kSettingsPath, u"BackgroundColor", *c.background);
    stages.IconRefreshStage();
    ASSERT_EQ(renderer.PictureWidth(), 16);
    EXPECT_EQ(Pixel(1, 1), c.field);
    EXPECT_EQ(Pixel(3, 1), c.grid);   // the first grid column
    EXPECT_EQ(Pixel(14, 14), c.bar);  // the first reading's one-pixel bar
}

INSTANTIATE_TEST_SUITE_P(
    Looks, ThemeCases,
    ::testing::Values(
        ThemeCase{"FollowThemeMissingDarkTheme", std::nullopt, 0u, std::nullopt, kWhite, kGray, kModernBar},
        ThemeCase{"FollowThemeOffDarkTheme", 0u, 0u, std::nullopt, kWhite, kGray, kModernBar},
        ThemeCase{"DarkTheme", 1u, 0u, std::nullopt, kDarkField, kDarkGrid, kDarkBar},
        ThemeCase{"LightTheme", 1u, 1u, std::nullopt, kWhite, kGray, kModernBar},
        ThemeCase{"ThemeValueMissing", 1u, std::nullopt, std::nullopt, kWhite, kGray, kModernBar},
        ThemeCase{"DarkThemeFieldSetByTheUser", 1u, 0u, Text(u"clBlue"), kBlue, kDarkGrid, kDarkBar},
        ThemeCase{"DarkThemeFieldStoredEmpty", 1u, 0u, Text(), kDarkField, kDarkGrid, kDarkBar},
        ThemeCase{"LightThemeFieldSetByTheUser", 1u, 1u, Text(u"clBlue"), kBlue, kGray, kModernBar}),
    [](const ::testing::TestParamInfo<ThemeCase>& param) { return std::string(param.param.name); });

TEST_F(LooksTest, AChangeOfThemeShowsAtTheNextTick) {
    sim.world.SetDword(kSettingsPath, u"FollowTheme", 1);
    sim.world.SetDword(kThemePath, u"SystemUsesLightTheme", 0);
    stages.IconRefreshStage();
    EXPECT_EQ(FieldPixel(), kDarkField);
    const std::size_t queries = sim.world.valueQueries;
    stages.IconRefreshStage();
    EXPECT_EQ(FieldPixel(), kDarkField);
    sim.world.SetDword(kThemePath, u"SystemUsesLightTheme", 1);
    stages.IconRefreshStage();
    EXPECT_EQ(FieldPixel(), kWhite);
    EXPECT_EQ(sim.world.valueQueries, queries + 1 + 5 * 2) << "the theme read again only once it changed";
}

TEST_F(LooksTest, WithoutBusiestCoreTheProcessorsAreNotAskedAndTheRowComesWithTheSetting) {
    sim.world.processorRecords = {std::vector<std::uint8_t>(48, 0)};
    stages.IconRefreshStage();
    stages.IconRefreshStage();
    for (const auto& call : sim.world.systemInformationCalls) EXPECT_NE(call.first, 8u);
    EXPECT_EQ(renderer.State().BusiestHistory[14], 63);

    sim.world.SetDword(kSettingsPath, u"BusiestCore", 1);
    stages.IconRefreshStage();  // the first reading only stores
    EXPECT_EQ(renderer.State().BusiestHistory[14], 63);
    // One processor, busy the whole second: idle 0, kernel 0, user one second.
    std::vector<std::uint8_t> busy(48, 0);
    busy[16] = 0x80, busy[17] = 0x96, busy[18] = 0x98;  // 10,000,000 at offset 16 (UserTime)
    sim.world.processorRecords = {busy};
    stages.IconRefreshStage();
    EXPECT_EQ(renderer.State().BusiestHistory[14], 1);
    EXPECT_EQ(Pixel(14, 1), 0x000000FFu) << "clRed, BusiestColor's default";
    sim.world.SetString(kSettingsPath, u"BusiestColor", u"clLime");
    stages.IconRefreshStage();
    // No new reading (the counters stood still): the newest columns hold
    // none, and the earlier row, one column further left, takes the new colour.
    EXPECT_EQ(renderer.State().BusiestHistory[14], 63);
    EXPECT_EQ(Pixel(12, 1), 0x0000FF00u) << "older rows in the colour of today";
}

struct ScaleCase {
    std::uint32_t dpi;
    int side;
};

class ScaleCases : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleCases, ThePictureHasTheSmallIconSizeOfTheTaskbarsScale) {
    SimPlatform sim;
    sim.world.libraries[u"USER32.DLL"].entries = {"GetDpiForWindow", "GetSystemMetricsForDpi"};
    const Hwnd taskbar = sim.world.AddWindow(u"", u"Shell_TrayWnd", 10, 11);
    sim.world.windowDpi[taskbar] = GetParam().dpi;
    // The process's own metrics keep the scale of the sign-in.
    sim.world.metrics[w32::kSmCxSmIcon] = sim.world.metrics[w32::kSmCySmIcon] = 16;
    IconSizer sizer(sim.windows, sim.libraries);
    IconRenderer renderer(sim.windows, sim.drawing, &sizer);
    const KHandle icon = renderer.RenderLoadIcon(u"clBlue", u"clTeal", u"clWhite", 50);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(sim.world.icons.at(icon).width, GetParam().side);
    EXPECT_EQ(sim.world.icons.at(icon).height, GetParam().side);
}

INSTANTIATE_TEST_SUITE_P(Dpi, ScaleCases,
                         ::testing::Values(ScaleCase{96, 16}, ScaleCase{120, 20}, ScaleCase{144, 24},
                                           ScaleCase{192, 32}),
                         [](const ::testing::TestParamInfo<ScaleCase>& param) {
                             return std::to_string(param.param.dpi) + "dpi";
                         });

TEST(IconSizer, AChangeOfScaleTakesEffectAtTheNextDrawingAfterItWasAnnounced) {
    SimPlatform sim;
    sim.world.libraries[u"USER32.DLL"].entries = {"GetDpiForWindow", "GetSystemMetricsForDpi"};
    IconSizer sizer(sim.windows, sim.libraries);
    int w = 0;
    int h = 0;
    // No taskbar yet: the system's metrics, and the taskbar is looked for again.
    sizer.PictureSize(&w, &h);
    EXPECT_EQ(w, 16);
    const Hwnd taskbar = sim.world.AddWindow(u"", u"Shell_TrayWnd", 10, 11);
    sim.world.windowDpi[taskbar] = 120;
    sizer.PictureSize(&w, &h);
    EXPECT_EQ(w, 20);

    sim.world.windowDpi[taskbar] = 192;  // the user picked 200 %
    sizer.PictureSize(&w, &h);
    EXPECT_EQ(w, 20) << "kept until a message announces the change";
    sizer.ScaleMayHaveChanged();
    sizer.PictureSize(&w, &h);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
}

TEST(IconSizer, WithoutThePerMonitorCallsTheSystemMetricsServe) {
    SimPlatform sim;  // user32 of Windows 7 and 8: neither call
    sim.world.AddWindow(u"", u"Shell_TrayWnd", 10, 11);
    sim.world.metrics[w32::kSmCxSmIcon] = 80;
    sim.world.metrics[w32::kSmCySmIcon] = 40;
    IconSizer sizer(sim.windows, sim.libraries);
    int w = 0;
    int h = 0;
    sizer.PictureSize(&w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
}

}  // namespace
}  // namespace kx
