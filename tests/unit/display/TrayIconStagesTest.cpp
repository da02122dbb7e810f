#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "SystemReadings.h"
#include "platform/Failure.h"
#include "display/TrayIconStages.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using namespace testing_support;
using sim::SimPlatform;

const Text kSettingsPath = u"HKLM\\Software\\VELMOR\\Kestrix";
constexpr Hwnd kMessageWindow = 0x30030;
constexpr std::uint32_t kCallbackMessage = 0x8001;

// The drawing calls of the platform, with a copy of an icon that raises.
class CopyRaisingDrawing : public IDrawing {
public:
    explicit CopyRaisingDrawing(IDrawing& inner) : inner_(inner) {}
    KHandle CreateIconFromPixels(int width, int height, const std::uint32_t* colorRefs,
                                 const std::uint8_t* alpha) override {
        return inner_.CreateIconFromPixels(width, height, colorRefs, alpha);
    }
    KHandle CopyIcon(KHandle) override { throw std::runtime_error("out of memory"); }
    bool DestroyIcon(KHandle icon) override { return inner_.DestroyIcon(icon); }
    KHandle LoadApplicationIcon() override { return inner_.LoadApplicationIcon(); }

private:
    IDrawing& inner_;
};

class StagesTest : public ::testing::Test {
protected:
    void SetUp() override { readings.Install(sim.world); }

    void AddTaskbar() { sim.world.AddWindow(u"", u"Shell_TrayWnd", 10, 11); }
    void Tick() {
        stages.TrayVisibilityStage();
        stages.IconRefreshStage();
    }
    std::size_t NotifyCount(std::uint32_t message) const {
        std::size_t n = 0;
        for (const auto& call : sim.world.notifyCalls) n += call.message == message ? 1 : 0;
        return n;
    }
    // A pixel of the widget's own copy of its picture.
    std::uint32_t ShownPixel(int x, int y) {
        const sim::SimIcon& picture = sim.world.icons.at(trayIcon.Icon());
        return picture.colorRefs.at(static_cast<std::size_t>(y * picture.width + x));
    }

    SimPlatform sim;
    SystemReadings readings;
    SettingsStore settings{sim.registry};
    LoadMeter meter{sim.system, sim.libraries};
    IconRenderer renderer{sim.windows, sim.drawing};
    TrayIcon trayIcon{sim.shell, sim.windows, sim.drawing, kMessageWindow, kCallbackMessage};
    TrayIconStages stages{sim.windows, sim.clock, sim.system, settings, trayIcon, meter, renderer, &sim.trace};
};

TEST_F(StagesTest, FirstTickWithTaskbarWaitsASecondAndAddsTheIcon) {
    AddTaskbar();
    EXPECT_TRUE(stages.TrayVisibilityStage());  // LoadTrayIcon missing counts as true
    EXPECT_EQ(sim.world.sleeps, std::vector<std::uint32_t>{1000});
    EXPECT_TRUE(trayIcon.Visible());
    ASSERT_EQ(sim.world.notifyCalls.size(), 1u);
    EXPECT_EQ(sim.world.notifyCalls[0].message, w32::kNimAdd);

    // The same tick's refresh replaces the startup picture with the graph.
    stages.IconRefreshStage();
    ASSERT_EQ(sim.world.notifyCalls.size(), 2u);
    EXPECT_EQ(sim.world.notifyCalls[1].message, w32::kNimModify);
    EXPECT_EQ(sim.world.notifyCalls[1].data.hIcon, trayIcon.Icon());
    EXPECT_EQ(sim.world.icons.at(trayIcon.Icon()).width, 16);

    // Shown already: later ticks neither wait nor add again.
    EXPECT_TRUE(stages.TrayVisibilityStage());
    EXPECT_EQ(sim.world.sleeps.size(), 1u);
    EXPECT_EQ(NotifyCount(w32::kNimAdd), 1u);
}

TEST_F(StagesTest, ARefusedAdditionIsRetriedOnLaterTicksWithoutWaitingAgain) {
    AddTaskbar();
    sim.world.shellRefusesAdd = true;  // the shell at logon is not ready yet
    Tick();
    Tick();
    EXPECT_TRUE(sim.world.notifyIcons.empty());
    EXPECT_EQ(NotifyCount(w32::kNimAdd), 2u);
    sim.world.shellRefusesAdd = false;
    Tick();
    ASSERT_EQ(sim.world.notifyIcons.size(), 1u);
    EXPECT_EQ(sim.world.notifyIcons.begin()->second.hIcon, trayIcon.Icon()) << "the graph, not the startup frame";
    Tick();
    EXPECT_EQ(NotifyCount(w32::kNimAdd), 3u);
    EXPECT_EQ(sim.world.sleeps, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(sim.world.debugLines.size(), 1u) << "one line for the retries, not one a tick";
}

TEST_F(StagesTest, WithoutTaskbarTheIconWaitsForIt) {
    EXPECT_TRUE(stages.TrayVisibilityStage());
    EXPECT_FALSE(trayIcon.Visible());
    EXPECT_TRUE(sim.world.sleeps.empty());
    EXPECT_TRUE(sim.world.notifyCalls.empty());

    AddTaskbar();
    stages.TrayVisibilityStage();
    EXPECT_TRUE(trayIcon.Visible());
    EXPECT_EQ(NotifyCount(w32::kNimAdd), 1u);
}

TEST_F(StagesTest, ShownIconStaysWhenTheTaskbarGoes) {
    AddTaskbar();
    stages.TrayVisibilityStage();
    sim.world.windows.clear();
    EXPECT_TRUE(stages.TrayVisibilityStage());
    EXPECT_TRUE(trayIcon.Visible());
    EXPECT_EQ(sim.world.notifyCalls.size(), 1u);
}

TEST_F(StagesTest, LoadTrayIconOffRemovesTheIconOnceAndTheGraphMovesOn) {
    AddTaskbar();
    Tick();
    sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 0);
    EXPECT_FALSE(stages.TrayVisibilityStage());
    EXPECT_FALSE(trayIcon.Visible());
    EXPECT_EQ(NotifyCount(w32::kNimDelete), 1u);
    stages.IconRefreshStage();

    const std::size_t calls = sim.world.notifyCalls.size();
    const std::int32_t phase = renderer.State().GridPhase;
    Tick();
    EXPECT_EQ(sim.world.notifyCalls.size(), calls);  // hidden: nothing goes to the shell
    EXPECT_NE(renderer.State().GridPhase, phase);    // but the picture is drawn all the same
    EXPECT_NE(trayIcon.Icon(), 0u);

    sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 1);
    stages.TrayVisibilityStage();
    EXPECT_TRUE(trayIcon.Visible());
    EXPECT_EQ(sim.world.sleeps.size(), 2u);
}

TEST_F(StagesTest, RefusedRemovalFailsOnceAndIsNotTriedAgain) {
    AddTaskbar();
    Tick();
    sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 0);
    sim.world.shellRefusesDelete = true;
    EXPECT_THROW(stages.TrayVisibilityStage(), Failure);
    EXPECT_FALSE(trayIcon.Visible());
    EXPECT_NO_THROW(stages.TrayVisibilityStage());
    EXPECT_EQ(NotifyCount(w32::kNimDelete), 1u);
}

TEST_F(StagesTest, ColourDefaultsFollowTheWindowsRelease) {
    struct Release {
        const char* what;
        std::uint32_t major;
        std::uint32_t minor;
        std::uint8_t productType;
        std::uint32_t background;
        std::uint32_t grid;
        std::uint32_t bar;
    };
    const Release releases[] = {
        {"Windows 7 (index 5)", 6, 1, 1, 0x00FFFFFF, 0x00808080, 0x00FF8000},
        {"Windows 10 (index 8)", 10, 0, 1, 0x00FFFFFF, 0x00808080, 0x00FF8000},
        {"Server 2008 R2 (index 4)", 6, 1, 3, 0x00FF0000, 0x00808000, 0x00FFFFFF},
        {"unrecognised (index -1)", 7, 0, 1, 0x00FF0000, 0x00808000, 0x00FFFFFF},
    };
    for (const Release& release : releases) {
        SCOPED_TRACE(release.what);
        sim.world.SetVersion(release.major, release.minor, release.productType);
        const int fieldColumn = renderer.State().GridPhase + 1;  // next to a grid column
        stages.IconRefreshStage();
        EXPECT_EQ(ShownPixel(fieldColumn, 1), release.background);
        EXPECT_EQ(ShownPixel(1, 3), release.grid);
        EXPECT_EQ(ShownPixel(14, 14), release.bar);
    }
}

TEST_F(StagesTest, StoredColoursAreUsedAndAnEmptyOneGivesTheDefault) {
    sim.world.SetString(kSettingsPath, u"BackgroundColor", u"");
    sim.world.SetString(kSettingsPath, u"GridColor", u"clRed");
    sim.world.SetString(kSettingsPath, u"BarColor", u"$00123456");
    stages.IconRefreshStage();
    EXPECT_EQ(ShownPixel(1, 1), 0x00FFFFFFu);
    EXPECT_EQ(ShownPixel(1, 3), 0x000000FFu);
    EXPECT_EQ(ShownPixel(14, 14), 0x00123456u);
}

TEST_F(StagesTest, BadBarColourShowsABlankIconWhileTheGraphKeepsMoving) {
    AddTaskbar();
    sim.world.SetString(kSettingsPath, u"BarColor", u"orange");
    for (int tick = 0; tick < 3; ++tick) {
        Tick();
        EXPECT_EQ(trayIcon.Icon(), 0u);
        EXPECT_EQ(sim.world.notifyCalls.back().message, w32::kNimModify);
        EXPECT_EQ(sim.world.notifyCalls.back().data.hIcon, 0u);
        EXPECT_EQ(renderer.LastLoadIcon(), 0u);
    }
    sim.world.SetString(kSettingsPath, u"BarColor", u"clRed");
    Tick();
    // Four readings, in columns 10 to 14.
    for (int x = 10; x <= 14; ++x) EXPECT_EQ(ShownPixel(x, 14), 0x000000FFu) << x;
    EXPECT_NE(ShownPixel(9, 14), 0x000000FFu);
}

TEST(RoundLoad, RoundsHalvesToEven) {
    const std::pair<double, std::int32_t> cases[] = {
        {0, 0},       {0.5, 0},   {1.5, 2},     {50.5, 50},
        {51.5, 52},   {50.49, 50}, {50.51, 51}, {99.5, 100},
        {100, 100},   {-0.5, 0},  {-1.5, -2},   {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [load, whole] : cases) EXPECT_EQ(RoundLoad(load), whole) << load;
}

TEST_F(StagesTest, HalfLoadsAreDrawnRoundedToEven) {
    struct Case {
        const char* what;
        std::uint8_t processors;
        std::int64_t dT;
        std::int64_t dI;
        int side;  // a picture size at which the neighbouring whole loads differ
        std::int32_t top;
    };
    const Case cases[] = {
        {"50.5 drawn as 50", 1, kSecond, kSecond / 2, 61, 60 - 30},        // 51 would stand at 60 - 31
        {"51.5 drawn as 52", 25, 4 * kSecond, 49 * kSecond, 41, 40 - 21},  // 51 would stand at 40 - 20
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        readings.processors = c.processors;
        sim.world.metrics[w32::kSmCxSmIcon] = c.side;
        sim.world.metrics[w32::kSmCySmIcon] = c.side;
        stages.IconRefreshStage();  // the reading the interval starts from
        readings.Advance(c.dT, c.dI);
        stages.IconRefreshStage();
        EXPECT_EQ(renderer.State().LoadHistory[static_cast<std::size_t>(c.side - 2)], c.top);
    }
}

TEST(TrayIconStages, EachPictureIsHandedToTheWidgetWithoutACopy) {
    SimPlatform sim;
    SystemReadings readings;
    readings.Install(sim.world);
    CopyRaisingDrawing widgetDrawing(sim.drawing);  // a copy would raise
    SettingsStore settings(sim.registry);
    LoadMeter meter(sim.system, sim.libraries);
    IconRenderer renderer(sim.windows, sim.drawing);
    TrayIcon trayIcon(sim.shell, sim.windows, widgetDrawing, kMessageWindow, kCallbackMessage);
    TrayIconStages stages(sim.windows, sim.clock, sim.system, settings, trayIcon, meter, renderer);
    const std::size_t iconsBefore = sim.world.handles.OpenCount(sim::HandleKind::Icon);  // the startup picture

    for (int tick = 0; tick < 3; ++tick) {
        readings.Advance(kSecond, kSecond / 2);
        ASSERT_NO_THROW(stages.IconRefreshStage());
        EXPECT_EQ(renderer.LastLoadIcon(), 0u) << "handed over, not kept twice";
        ASSERT_NE(trayIcon.Icon(), 0u);
        EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), iconsBefore) << "the one before is released";
    }
    // A colour that does not convert gives no picture: the icon shows blank.
    sim.world.SetString(kSettingsPath, u"BarColor", u"orange");
    stages.IconRefreshStage();
    EXPECT_EQ(trayIcon.Icon(), 0u);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), 0u);
}

TEST_F(StagesTest, TenThousandTicksLeaveNoHandleBehind) {
    AddTaskbar();
    Tick();
    const std::size_t openAfterFirst = sim.world.handles.OpenCount();
    const std::size_t iconsAfterFirst = sim.world.handles.OpenCount(sim::HandleKind::Icon);
    for (int tick = 1; tick < 10000; ++tick) {
        readings.Advance(kSecond, (tick % 5) * kSecond);
        // Now and then the icon is hidden and shown again and the bar colour is wrong.
        const int phase = tick % 1000;
        if (phase == 500) sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 0);
        if (phase == 600) sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 1);
        if (phase == 700) sim.world.SetString(kSettingsPath, u"BarColor", u"orange");
        if (phase == 710) sim.world.DeleteValue(kSettingsPath, u"BarColor");
        Tick();
    }
    EXPECT_TRUE(trayIcon.Visible());
    EXPECT_EQ(sim.world.handles.OpenCount(), openAfterFirst);
    EXPECT_EQ(sim.world.handles.OpenCount(sim::HandleKind::Icon), iconsAfterFirst);
    EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
    EXPECT_EQ(sim.world.icons.size(), iconsAfterFirst);
}

}  // namespace
}  // namespace kx
