#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PerfBlockBuilder.h"
#include "AppTestSupport.h"
#include "app/TrayForm.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::HandleKind;
using sim::T;
using sim::U8;
using test::kSettingsPath;

constexpr std::uint32_t kIconMessage = 0x8001;
const Text kFolder = u"C:\\Program Files\\VELMOR\\Kestrix\\";

class TrayForm : public ::testing::Test {
protected:
    TrayForm() {
        test::LoadRealTables(sim.world);
        formWindow = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
        iconWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
        otherProcess = 5000;
        sim.world.AddProcess(otherProcess, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
    }

    void Create(IForegroundEvents* events = nullptr) {
        form = std::make_unique<TKXTrayForm>(sim.api(), formWindow, iconWindow, kIconMessage, events);
        form->onClosed = [this] { ++windowsDestroyed; };
        form->FormCreate();
    }
    void SetLanguage(const std::string& language) { sim.world.SetString(T(kSettingsPath), u"Language", T(language)); }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const auto& item : form->MenuItems()) captions.push_back(U8(item.caption));
        return captions;
    }
    void IconNotification(std::uint32_t notification) {
        std::intptr_t result = 0;
        form->Icon().HandleMessage(kIconMessage, TrayIcon::kIconId, notification, &result);
    }
    // The menu's items by command id as the shell was given them.
    std::uint32_t IdOf(const std::string& caption) const {
        const auto& items = sim.world.trackPopupCalls.back().items;
        for (const auto& item : items) {
            if (U8(item.text) == caption) return static_cast<std::uint32_t>(item.id);
        }
        ADD_FAILURE() << "no menu item " << caption;
        return 0;
    }

    sim::SimPlatform sim;
    Hwnd formWindow = 0;
    Hwnd iconWindow = 0;
    std::uint32_t otherProcess = 0;
    std::unique_ptr<TKXTrayForm> form;
    int windowsDestroyed = 0;
};

TEST_F(TrayForm, CreationAppliesTheCaptionsLoadsTheBlockListAndRaisesItsOwnProcess) {
    Create();
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Open &Kestrix", "-", "&Check for updates", "-", "&Help", "-",
                                                    "&Exit"}));
    EXPECT_EQ(form->Icon().Hint(), u"Kestrix");
    EXPECT_FALSE(form->Icon().Visible()) << "the tray-visibility stage shows it";
    EXPECT_TRUE(form->Blocks().HasList());
    EXPECT_EQ(sim.world.processes[sim.world.currentProcessId].priorityClass, w32::kHighPriorityClass);
    EXPECT_EQ(sim.world.processes[otherProcess].priorityClass, w32::kNormalPriorityClass);
    EXPECT_EQ(form->Caption(), u"") << "no table row names the form's own caption";
}

TEST_F(TrayForm, ALanguageWithoutTableLeavesTheItemsEmptyAndTheCommandsWorking) {
    SetLanguage("german");
    Create();
    EXPECT_EQ(Captions(), (std::vector<std::string>{"", "-", "", "-", "", "-", ""}));
    EXPECT_EQ(form->Icon().Hint(), u"");
    EXPECT_EQ(sim.world.processes[sim.world.currentProcessId].priorityClass, w32::kHighPriorityClass)
        << "the later creation steps still run";

    sim.world.trackPopupChoice = 1;
    IconNotification(w32::kWmRButtonUp);
    ASSERT_EQ(sim.world.shellExecuteCalls.size(), 1u);
    EXPECT_EQ(sim.world.shellExecuteCalls[0].file, kFolder + u"Kestrix.exe");
}

TEST_F(TrayForm, ALaterChangeOfLanguageReachesTheMenuOnlyAtTheNextStart) {
    Create();
    SetLanguage("RUSSIAN");
    EXPECT_EQ(Captions()[0], "Open &Kestrix");
    Text title;
    form->CaptionTables().GetCaption(u"KXTrayForm", u"BalloonTitle", title);
    EXPECT_EQ(U8(title), "Обновление Kestrix");
}

TEST_F(TrayForm, CreationTakesTheDesktopIconTitleFontAtNinePointsAtMost) {
    sim.world.iconTitleFont.lfFaceName = u"Segoe UI";
    sim.world.iconTitleFont.lfHeight = -20;  // 15 points at 96 pixels per inch
    Create();
    EXPECT_EQ(form->Font().face, u"Segoe UI");
    EXPECT_EQ(form->Font().Size(), 9);
}

TEST_F(TrayForm, CreationFallsBackToTheSystemFontWhenTheDesktopDoesNotSay) {
    sim.world.iconTitleFontFails = true;
    Create();
    EXPECT_EQ(form->Font().face, u"System");
    EXPECT_EQ(Captions()[0], "Open &Kestrix") << "the following steps still run";
}

TEST_F(TrayForm, ARightClickOpensTheMenuRightAlignedAtTheCursorWithOpenAsDefault) {
    Create();
    sim.world.cursorX = 1010;
    sim.world.cursorY = 760;
    IconNotification(w32::kWmRButtonUp);

    ASSERT_EQ(sim.world.trackPopupCalls.size(), 1u);
    const auto& call = sim.world.trackPopupCalls[0];
    EXPECT_EQ(call.x, 1010);
    EXPECT_EQ(call.y, 760);
    EXPECT_EQ(call.owner, formWindow);
    EXPECT_EQ(call.flags & (w32::kTpmRightAlign | w32::kTpmRightButton), w32::kTpmRightAlign | w32::kTpmRightButton);
    ASSERT_EQ(call.items.size(), 7u);
    EXPECT_EQ(call.defaultItem, 0) << "Open is the default item, drawn in bold";
    std::vector<std::string> texts;
    for (const auto& item : call.items) {
        texts.push_back((item.flags & w32::kMfSeparator) != 0 ? "-" : U8(item.text));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Open &Kestrix", "-", "&Check for updates", "-", "&Help", "-",
                                               "&Exit"}));
    EXPECT_EQ(sim.world.foregroundRequests, std::vector<Hwnd>{formWindow});
    EXPECT_EQ(sim.world.handles.OpenCount(HandleKind::Menu), 0u) << "the menu is released after use";
    EXPECT_TRUE(sim.world.shellExecuteCalls.empty()) << "closing the menu without a choice runs nothing";
}

struct CommandCase {
    const char* item;
    const char16_t* file;  // nullptr: no launch
    bool owned;            // with the application window as owner
    bool help;
};

class TrayFormCommands : public TrayForm, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(TrayFormCommands, EachMenuItemRunsItsCommand) {
    const CommandCase& c = GetParam();
    Create();
    IconNotification(w32::kWmRButtonUp);  // learn the ids
    sim.world.trackPopupChoice = IdOf(c.item);
    IconNotification(w32::kWmRButtonUp);

    if (c.file != nullptr) {
        ASSERT_EQ(sim.world.shellExecuteCalls.size(), 1u);
        const auto& launch = sim.world.shellExecuteCalls[0];
        EXPECT_EQ(launch.file, kFolder + c.file);
        EXPECT_EQ(launch.owner, c.owned ? formWindow : 0u);
        EXPECT_EQ(launch.verb, u"open");
        EXPECT_EQ(launch.parameters, u"");
        EXPECT_FALSE(launch.hasDirectory);
        EXPECT_EQ(launch.showCommand, w32::kSwShow);
    } else {
        EXPECT_TRUE(sim.world.shellExecuteCalls.empty());
    }
    if (c.help) {
        ASSERT_EQ(sim.world.htmlHelpCalls.size(), 1u);
        EXPECT_EQ(sim.world.htmlHelpCalls[0].file, kFolder + u"Kestrix.chm::/html/main.htm>HelpWindow");
        EXPECT_EQ(sim.world.htmlHelpCalls[0].caller, sim.world.desktop);
    }
    EXPECT_TRUE(sim.world.httpRequests.empty()) << "no command asks the update server";
}

INSTANTIATE_TEST_SUITE_P(Items, TrayFormCommands,
                         ::testing::Values(CommandCase{"Open &Kestrix", u"Kestrix.exe", true, false},
                                           CommandCase{"&Check for updates", u"KestrixUpdate.exe", false, false},
                                           CommandCase{"&Help", nullptr, false, true}));

TEST_F(TrayForm, ADoubleClickOpensTheMainProgramAndABalloonClickTheUpdater) {
    Create();
    IconNotification(w32::kWmLButtonDblClk);
    IconNotification(w32::kWmLButtonUp);  // a single click does nothing
    IconNotification(w32::kNinBalloonUserClick);
    ASSERT_EQ(sim.world.shellExecuteCalls.size(), 2u);
    EXPECT_EQ(sim.world.shellExecuteCalls[0].file, kFolder + u"Kestrix.exe");
    EXPECT_EQ(sim.world.shellExecuteCalls[0].owner, formWindow);
    EXPECT_EQ(sim.world.shellExecuteCalls[1].file, kFolder + u"KestrixUpdate.exe");
    EXPECT_EQ(sim.world.shellExecuteCalls[1].owner, 0u);
}

TEST_F(TrayForm, ExitClosesTheMainProgramsWindowsDialogsFirstThenTheForm) {
    Create();
    // Created in another order than they are closed; two windows of one class.
    const Hwnd main = sim.world.AddWindow(u"Kestrix", u"TKXMainForm", 6000, 1);
    const Hwnd settings = sim.world.AddWindow(u"Settings", u"TKXSettingsForm", 6000, 1);
    const Hwnd about = sim.world.AddWindow(u"About", u"TKXAboutForm", 6000, 1);
    sim.world.AddWindow(u"Settings 2", u"TKXSettingsForm", 6000, 1);
    sim.world.AddWindow(u"Other", u"TOtherForm", 6000, 1);

    IconNotification(w32::kWmRButtonUp);
    sim.world.trackPopupChoice = IdOf("&Exit");
    IconNotification(w32::kWmRButtonUp);

    std::vector<Hwnd> closed;
    for (const auto& sent : sim.world.sentMessages) {
        EXPECT_EQ(sent.message, w32::kWmClose);
        EXPECT_EQ(sent.wParam, 0u);
        EXPECT_EQ(sent.lParam, 0);
        EXPECT_TRUE(sent.withTimeout);
        EXPECT_EQ(sent.timeoutMs, kCompanionCloseTimeoutMs);
        closed.push_back(sent.window);
    }
    EXPECT_EQ(closed, (std::vector<Hwnd>{about, settings, main}));
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(windowsDestroyed, 1);
    EXPECT_FALSE(form->Blocks().HasList()) << "the block list is released";
}

TEST_F(TrayForm, ExitDoesNotWaitForeverForAWindowThatNeverAnswers) {
    Create();
    const Hwnd test = sim.world.AddWindow(u"Test", u"TKXTestForm", 6000, 1);
    const Hwnd main = sim.world.AddWindow(u"Kestrix", u"TKXMainForm", 6000, 1);
    sim.world.hungWindows = {test};
    const std::int64_t start = sim.world.fileTimeUtc;

    form->ExitPopupClick();

    ASSERT_EQ(sim.world.sentMessages.size(), 2u);
    EXPECT_EQ(sim.world.sentMessages[1].window, main) << "the main window is still closed after the hung one";
    EXPECT_EQ(sim.world.fileTimeUtc - start, 5000LL * 10000) << "one bounded wait of five seconds";
    EXPECT_EQ(windowsDestroyed, 1);
}

TEST_F(TrayForm, ExitWithoutTheMainProgramOnlyClosesTheForm) {
    Create();
    form->ExitPopupClick();
    EXPECT_TRUE(sim.world.sentMessages.empty());
    EXPECT_EQ(windowsDestroyed, 1);
}

TEST_F(TrayForm, TheFormClosesOnceWhicheverWayTheCloseComes) {
    Create();
    form->ExitPopupClick();
    form->Close();  // e.g. WM_CLOSE from another process arriving during the exit
    EXPECT_EQ(windowsDestroyed, 1);
    EXPECT_FALSE(form->Blocks().HasList());
}

TEST_F(TrayForm, EveryHandleIsReleasedWhenTheFormEnds) {
    Create();
    form->Icon().SetVisible(true);
    IconNotification(w32::kWmRButtonUp);
    sim.world.trackPopupChoice = IdOf("&Help");
    IconNotification(w32::kWmRButtonUp);
    form->ExitPopupClick();
    form.reset();
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
    EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
    EXPECT_TRUE(sim.world.notifyIcons.empty()) << "the icon leaves the notification area";
}

TEST_F(TrayForm, WithTheKeyRefusingWrites100TicksTakeOneSampleAndReadTheListOnce) {
    const Hwnd game = sim.world.AddWindow(u"Game", u"GameClass", otherProcess, 5001);
    sim.world.performanceData = test::ProcessorBlock({1'000'000'000, 2'000'000'000, 3'000'000'000},
                                                     SystemTime{2022, 6, 3, 1, 12, 0, 0, 0});
    const Text listPath = u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv";
    const std::string list = "-,Print\r\n";
    sim.world.files[sim::Upper(listPath)] = sim::SimFile{std::vector<std::uint8_t>(list.begin(), list.end())};
    sim.world.SetDword(T(kSettingsPath), u"ReloadList", 1);
    sim.world.Key(T(kSettingsPath)).denyWrite = true;
    sim.world.foreground = game;
    Create();

    const auto listReads = [&] {
        std::size_t reads = 0;
        for (const auto& open : sim.world.fileOpens) reads += sim::Upper(open.first) == sim::Upper(listPath) ? 1 : 0;
        return reads;
    };
    const std::size_t readsAtCreation = listReads();
    form->MainTimerTimer();
    const std::size_t oneSample = sim.world.performanceQuerySizes.size();
    EXPECT_GT(oneSample, 0u);
    for (int i = 1; i < 100; ++i) form->MainTimerTimer();
    EXPECT_EQ(sim.world.performanceQuerySizes.size(), oneSample);
    EXPECT_EQ(listReads() - readsAtCreation, 1u);
    EXPECT_EQ(sim.world.processes[otherProcess].priorityClass, w32::kHighPriorityClass);
    EXPECT_FALSE(form->Blocks().IsBlocked(u"Print", u"#x", u""));
    // The refused write leaves one line, not one a tick.
    std::size_t handleLines = 0;
    for (const Text& line : sim.world.debugLines) handleLines += U8(line).find("Handle cannot be written") != std::string::npos;
    EXPECT_EQ(handleLines, 1u);
}

TEST_F(TrayForm, AForegroundEventActsBetweenTicksAndIsDroppedDuringATickOrExit) {
    sim.world.SetDword(T(kSettingsPath), u"InstantBoost", 1);
    const Hwnd game = sim.world.AddWindow(u"Game", u"GameClass", otherProcess, 50);
    const Hwnd editor = sim.world.AddWindow(u"Editor", u"EditorClass", otherProcess, 51);
    sim.world.AddWindow(u"Kestrix", u"TKXMainForm", 6000, 1);
    struct : IForegroundEvents {
        bool Hook(std::uint32_t, std::uint32_t) override { return true; }
        void UnhookAll() override {}
        void ArmLookTimer(std::uint32_t) override {}
        void CancelLookTimer() override {}
    } events;
    Create(&events);
    const SettingsStore settings(sim.registry);
    const auto handle = [&] { return settings.RegReadString(u"Handle", u"0"); };

    // During a tick (its icon stage asks for the icon size) the game comes to the front.
    int eventsInTick = 0;
    sim.world.onSystemMetrics = [&](int) {
        if (eventsInTick++ > 0) return;
        sim.world.foreground = game;
        form->ForegroundEvent();
        EXPECT_EQ(handle(), u"0") << "an event acted inside a tick";
    };
    form->MainTimerTimer();
    ASSERT_GT(eventsInTick, 0);
    sim.world.onSystemMetrics = nullptr;

    // Between ticks the event acts at once.
    sim.world.foreground = editor;
    form->ForegroundEvent();
    EXPECT_EQ(handle(), HandleText(editor));

    // While Exit closes the main program's windows, the game comes to the front again.
    sim.world.onMessage = [&](const sim::SentMessage&) {
        sim.world.foreground = game;
        form->ForegroundEvent();
    };
    form->ExitPopupClick();
    EXPECT_EQ(handle(), HandleText(editor)) << "an event acted during Exit";
    sim.world.onMessage = nullptr;
    form->ForegroundEvent();
    EXPECT_EQ(handle(), HandleText(editor)) << "an event acted after the form closed";
    form.reset();  // the form's watch removes its hooks while the events still exist
}

// Any account may store anything in the settings key: a value of any setting
// that does not convert reads as its default, and neither stops a stage nor a
// later one, so the window in front is still raised and the icon still moves.
TEST(TrayFormSettings, AValueThatDoesNotConvertStopsNothing) {
    struct Bad {
        const char* name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    const auto sz = [](const Text& text) { return RegSzData(text); };
    const Bad bads[] = {
        {"a word", w32::kRegSz, sz(u"word")},
        {"an empty text", w32::kRegSz, sz(u"")},
        {"a huge number", w32::kRegSz, sz(u"99999999999999999999999999")},
        {"a number of the wrong type", 11 /* REG_QWORD */, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"bytes", w32::kRegBinary, {1, 2, 3}},
        {"a text where a number is due, or a number where a text is", w32::kRegDword, {7, 0, 0, 0}},
    };
    for (const SettingDefinition& setting : contract::kSettings) {
        for (const Bad& bad : bads) {
            // Only a value of the setting's own type that converts changes what it governs.
            if (bad.type == w32::kRegDword && setting.type != SettingType::String &&
                setting.type != SettingType::Color) {
                continue;
            }
            const std::string name = U8(setting.name) + ": " + bad.name;
            sim::SimPlatform sim;
            test::LoadRealTables(sim.world);
            const Hwnd formWindow = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
            const Hwnd iconWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
            sim.world.AddWindow(u"", u"Shell_TrayWnd", 10, 11);
            sim.world.AddProcess(5000, u"\\Device\\HarddiskVolume1\\Games\\game.exe");
            sim.world.foreground = sim.world.AddWindow(u"Game", u"GameClass", 5000, 5001);
            sim.world.Key(T(kSettingsPath)).values[sim::Upper(setting.name)] = {setting.name,
                                                                                sim::RegValue{bad.type, bad.data}};
            TKXTrayForm form(sim.api(), formWindow, iconWindow, kIconMessage);
            form.FormCreate();
            const auto icons = [&] {
                std::size_t count = 0;
                for (const auto& call : sim.world.notifyCalls) {
                    count += call.message == w32::kNimModify && (call.data.uFlags & w32::kNifIcon) != 0;
                }
                return count;
            };
            form.MainTimerTimer();
            const std::size_t iconsAfterFirst = icons();
            form.MainTimerTimer();
            form.MainTimerTimer();
            EXPECT_EQ(sim.world.processes[5000].priorityClass, w32::kHighPriorityClass) << name;
            EXPECT_EQ(icons() - iconsAfterFirst, 2u) << name << ": the icon stood still";
            for (const Text& line : sim.world.debugLines) {
                EXPECT_EQ(U8(line).find("KestrixTray: tick:"), std::string::npos) << name << ": " << U8(line);
            }
        }
    }
}

TEST_F(TrayForm, AfterAStartThatPutAProgramBackTheWindowInFrontIsRaisedAgain) {
    sim.world.SetDword(T(kSettingsPath), u"RestoreOnExit", 1);
    sim.world.processes[otherProcess].creationTime = 1234;
    const Hwnd game = sim.world.AddWindow(u"Game", u"GameClass", otherProcess, 50);
    sim.world.foreground = game;
    Create();
    form->MainTimerTimer();
    ASSERT_EQ(sim.world.processes[otherProcess].priorityClass, w32::kHighPriorityClass);
    // The run is killed: no exit, the record stays, and Handle still names the game.
    form.reset();
    Create();
    EXPECT_EQ(sim.world.processes[otherProcess].priorityClass, w32::kNormalPriorityClass) << "put back at start";
    form->MainTimerTimer();
    EXPECT_EQ(sim.world.processes[otherProcess].priorityClass, w32::kHighPriorityClass) << "raised again";
}

}  // namespace
}  // namespace kx
