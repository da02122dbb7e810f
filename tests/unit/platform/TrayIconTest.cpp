#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/TrayIcon.h"
#include "platform/Failure.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::HandleKind;
using sim::NotifyCall;

constexpr Hwnd kAppWindow = 0x30000;
constexpr std::uint32_t kCallback = 0x8001;

class TrayIconWidget : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    Hwnd messageWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
    TrayIcon icon{sim.shell, sim.windows, sim.drawing, messageWindow, kCallback};

    const std::vector<NotifyCall>& Calls() { return sim.world.notifyCalls; }
    const NotifyCall& Last() { return sim.world.notifyCalls.back(); }
    bool InNotificationArea() { return sim.world.notifyIcons.count({messageWindow, TrayIcon::kIconId}) != 0; }
    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        std::intptr_t result = -1;
        EXPECT_TRUE(icon.HandleMessage(message, wParam, lParam, &result));
        return result;
    }
    void Notify(std::uint32_t notification) { Send(kCallback, TrayIcon::kIconId, notification); }
    KHandle NewPicture() {
        const std::uint32_t pixels[4] = {1, 2, 3, 4};
        return sim.drawing.CreateIconFromPixels(2, 2, pixels, nullptr);
    }
};

TEST_F(TrayIconWidget, StartupPictureIsAnEmptyFrameInTheTwoGreys) {
    // U: the upper grey 0x003A3837 (rows 0-9), L: the lower grey 0x002C2B29, '.': transparent.
    const char* expected[16] = {
        "UUUUUUUUUUUUUUUU", "U..............U", "U..............U", "U..............U",
        "U..............U", "U..............U", "U..............U", "U..............U",
        "U..............U", "U..............U", "L..............L", "L..............L",
        "L..............L", "L..............L", "L..............L", "LLLLLLLLLLLLLLLL",
    };
    ASSERT_NE(icon.Icon(), 0u);
    const sim::SimIcon& picture = sim.world.icons.at(icon.Icon());
    ASSERT_EQ(picture.width, 16);
    ASSERT_EQ(picture.height, 16);
    ASSERT_EQ(picture.alpha.size(), 256u);
    for (int y = 0; y < 16; ++y) {
        std::string row;
        for (int x = 0; x < 16; ++x) {
            const auto i = static_cast<std::size_t>(y * 16 + x);
            if (picture.alpha[i] == 0) {
                row += '.';
            } else if (picture.colorRefs[i] == 0x003A3837u) {
                row += 'U';
            } else if (picture.colorRefs[i] == 0x002C2B29u) {
                row += 'L';
            } else {
                row += '?';
            }
        }
        EXPECT_EQ(row, expected[y]) << "row " << y;
    }
}

TEST_F(TrayIconWidget, AddsWithMessageAndIconAndATipOnlyWhileTheHintIsSet) {
    icon.SetVisible(true);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Last().message, w32::kNimAdd);
    EXPECT_EQ(Last().data.uFlags, w32::kNifMessage | w32::kNifIcon);
    EXPECT_EQ(Last().data.hWnd, messageWindow);
    EXPECT_EQ(Last().data.uCallbackMessage, kCallback);
    EXPECT_EQ(Last().data.hIcon, icon.Icon());
    EXPECT_EQ(Last().data.uTimeout, 10000u);
    EXPECT_TRUE(InNotificationArea());

    icon.SetHint(u"Kestrix");
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_EQ(Last().data.uFlags, w32::kNifMessage | w32::kNifIcon | w32::kNifTip);
    EXPECT_EQ(Last().data.szTip, u"Kestrix");

    const auto before = Calls().size();
    icon.SetHint(u"Kestrix");
    icon.SetVisible(true);
    EXPECT_EQ(Calls().size(), before) << "an unchanged hint or visibility sends nothing";

    icon.SetHint(u"");
    EXPECT_EQ(Last().data.uFlags, w32::kNifMessage | w32::kNifIcon);
}

TEST_F(TrayIconWidget, AHintSetWhileHiddenIsSentWithTheAddition) {
    icon.SetHint(u"Kestrix");
    EXPECT_TRUE(Calls().empty());
    icon.SetVisible(true);
    EXPECT_EQ(Last().message, w32::kNimAdd);
    EXPECT_EQ(Last().data.uFlags, w32::kNifMessage | w32::kNifIcon | w32::kNifTip);
}

TEST_F(TrayIconWidget, TextsAreCutToTheirFields) {
    icon.SetVisible(true);
    icon.SetHint(Text(200, u'h'));
    icon.SetBalloonHint(Text(300, u'b'));
    icon.SetBalloonTitle(Text(100, u't'));
    EXPECT_EQ(Last().data.szTip, Text(127, u'h'));
    EXPECT_EQ(Last().data.szInfo, Text(255, u'b'));
    EXPECT_EQ(Last().data.szInfoTitle, Text(63, u't'));
    EXPECT_EQ(icon.Hint().size(), 200u) << "the property keeps the whole text";
}

TEST_F(TrayIconWidget, BalloonTextsAreSentAtOnceEvenWhileHidden) {
    icon.SetBalloonTitle(u"Kestrix Update");
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_FALSE(Last().accepted) << "the shell refuses it for an absent icon, and that is ignored";
    icon.ShowBalloonHint();
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(TrayIconWidget, TheBalloonIsRequestedOnceAndLaterUpdatesDoNotBringItBack) {
    icon.SetVisible(true);
    icon.SetBalloonTitle(u"Title");
    icon.SetBalloonHint(u"Text");
    EXPECT_EQ(Last().data.uFlags & w32::kNifInfo, 0u) << "setting the texts asks for no balloon";
    icon.ShowBalloonHint();
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_EQ(Last().data.uFlags & w32::kNifInfo, w32::kNifInfo);
    EXPECT_EQ(Last().data.dwInfoFlags, w32::kNiifInfo);
    EXPECT_EQ(Last().data.szInfoTitle, u"Title");
    EXPECT_EQ(Last().data.szInfo, u"Text");
    EXPECT_EQ(Last().data.uTimeout, 10000u);

    // The picture is replaced every second while the balloon shows.
    icon.SetIcon(NewPicture());
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_EQ(Last().data.uFlags & w32::kNifInfo, 0u) << "an update must not ask for the balloon again";
    for (std::uint32_t closing : {w32::kNinBalloonHide, w32::kNinBalloonTimeout}) {
        Notify(closing);
        icon.SetHint(u"after " + Text(1, static_cast<char16_t>(u'0' + closing)));
        EXPECT_EQ(Last().data.uFlags & w32::kNifInfo, 0u) << "closing notification " << closing;
    }
}

TEST_F(TrayIconWidget, KeepsItsOwnCopyOfThePictureAndReleasesTheOldOne) {
    icon.SetVisible(true);
    const std::size_t iconsAtStart = sim.world.handles.OpenCount(HandleKind::Icon);  // the startup picture

    KHandle picture = NewPicture();
    icon.SetIcon(picture);
    EXPECT_NE(icon.Icon(), picture);
    sim.drawing.DestroyIcon(picture);  // the caller may release its picture at once
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_EQ(Last().data.hIcon, icon.Icon());
    EXPECT_EQ(sim.world.icons.at(icon.Icon()).colorRefs, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(sim.world.handles.OpenCount(HandleKind::Icon), iconsAtStart) << "the startup picture was released";

    icon.SetIcon(0);
    EXPECT_EQ(icon.Icon(), 0u);
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_EQ(Last().data.hIcon, 0u) << "nothing gives a blank icon";
    EXPECT_EQ(sim.world.handles.OpenCount(HandleKind::Icon), 0u);
}

TEST_F(TrayIconWidget, APictureSetWhileHiddenIsOnlyKept) {
    KHandle picture = NewPicture();
    icon.SetIcon(picture);
    EXPECT_TRUE(Calls().empty());
    icon.SetVisible(true);
    EXPECT_EQ(Last().data.hIcon, icon.Icon());
    sim.drawing.DestroyIcon(picture);
}

TEST_F(TrayIconWidget, AnEmptyPictureIsAddedAsTheProgramsIcon) {
    icon.SetIcon(0);
    icon.SetVisible(true);
    EXPECT_EQ(Last().message, w32::kNimAdd);
    EXPECT_EQ(Last().data.hIcon, sim.world.applicationIcon);
}

TEST_F(TrayIconWidget, ARefusedRemovalFailsAndLeavesItHidden) {
    icon.SetVisible(true);
    sim.world.shellRefusesDelete = true;
    try {
        icon.SetVisible(false);
        FAIL() << "the refused removal must raise";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "Cannot remove shell notification icon");
    }
    EXPECT_FALSE(icon.Visible());
    const auto before = Calls().size();
    EXPECT_NO_THROW(icon.SetVisible(false));
    EXPECT_EQ(Calls().size(), before) << "the removal is not tried again";
}

TEST_F(TrayIconWidget, ARefusedAdditionGoesUnnoticedUntilTheTaskbarComesBack) {
    sim.world.shellRefusesAdd = true;
    EXPECT_NO_THROW(icon.SetVisible(true));
    EXPECT_TRUE(icon.Visible());
    EXPECT_FALSE(InNotificationArea());

    sim.world.shellRefusesAdd = false;
    Send(sim.windows.RegisterWindowMessageW(u"TaskbarCreated"));
    EXPECT_TRUE(InNotificationArea());
}

TEST(TrayIconRestore, AnIconTheShellRefusedOrLostIsAddedAgain) {
    struct Rig {
        sim::SimPlatform sim;
        Hwnd messageWindow = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
        TrayIcon icon{sim.shell, sim.windows, sim.drawing, messageWindow, kCallback};
    };
    struct Case {
        const char* name;
        std::function<void(Rig&)> lose;
    };
    const Case cases[] = {
        {"the addition is refused",
         [](Rig& r) {
             r.sim.world.shellRefusesAdd = true;
             r.icon.SetVisible(true);
         }},
        {"a change is refused because the shell lost the icon",
         [](Rig& r) {
             r.icon.SetVisible(true);
             r.sim.world.notifyIcons.clear();
             r.sim.world.shellRefusesAdd = true;
             const std::uint32_t pixels[4] = {1, 2, 3, 4};
             const KHandle picture = r.sim.drawing.CreateIconFromPixels(2, 2, pixels, nullptr);
             r.icon.SetIcon(picture);
             r.sim.drawing.DestroyIcon(picture);
         }},
    };
    for (const Case& c : cases) {
        Rig r;
        r.icon.SetHint(u"Kestrix");
        c.lose(r);
        EXPECT_FALSE(r.icon.InNotificationArea()) << c.name;
        r.icon.RestoreIfLost();  // the shell still refuses: tried again later
        EXPECT_TRUE(r.sim.world.notifyIcons.empty()) << c.name;
        r.sim.world.shellRefusesAdd = false;
        r.icon.RestoreIfLost();
        ASSERT_EQ(r.sim.world.notifyIcons.size(), 1u) << c.name;
        EXPECT_TRUE(r.icon.InNotificationArea()) << c.name;
        EXPECT_EQ(r.sim.world.notifyIcons.begin()->second.hIcon, r.icon.Icon()) << c.name;
        EXPECT_EQ(r.sim.world.notifyIcons.begin()->second.szTip, u"Kestrix") << c.name;
        const std::size_t calls = r.sim.world.notifyCalls.size();
        r.icon.RestoreIfLost();
        EXPECT_EQ(r.sim.world.notifyCalls.size(), calls) << c.name << ": nothing to do once it is back";
    }
}

TEST_F(TrayIconWidget, AnIconTheShellHoldsAfterAllIsNotAddedTwice) {
    icon.SetVisible(true);
    sim.world.shellRefusesAdd = true;
    Send(sim.windows.RegisterWindowMessageW(u"TaskbarCreated"));  // refused: the shell already has it
    ASSERT_FALSE(icon.InNotificationArea());
    icon.RestoreIfLost();
    EXPECT_EQ(Last().message, w32::kNimModify);
    EXPECT_TRUE(Last().accepted);
    EXPECT_TRUE(icon.InNotificationArea());
}

TEST_F(TrayIconWidget, NothingIsRestoredWhileHidden) {
    sim.world.shellRefusesAdd = true;
    icon.RestoreIfLost();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(TrayIconWidget, TheIconComesBackWhenTheShellRestarts) {
    icon.SetHint(u"Kestrix");
    icon.SetVisible(true);
    sim.world.notifyIcons.clear();  // the shell restarted and lost every icon
    Send(sim.windows.RegisterWindowMessageW(u"TaskbarCreated"));
    EXPECT_EQ(Last().message, w32::kNimAdd);
    EXPECT_TRUE(InNotificationArea());
    EXPECT_EQ(sim.world.notifyIcons.begin()->second.szTip, u"Kestrix");
}

TEST_F(TrayIconWidget, AHiddenIconStaysHiddenWhenTheShellRestarts) {
    Send(sim.windows.RegisterWindowMessageW(u"TaskbarCreated"));
    EXPECT_TRUE(Calls().empty());
}

struct MouseCase {
    std::uint32_t notification;
    int doubleClicks;
    int popups;
    int balloonClicks;
};

class TrayIconEvents : public TrayIconWidget, public ::testing::WithParamInterface<MouseCase> {};

TEST_P(TrayIconEvents, PassOnTheMouseAndBalloonNotifications) {
    const MouseCase& c = GetParam();
    int doubleClicks = 0;
    int popups = 0;
    int balloonClicks = 0;
    icon.OnDblClick = [&] { ++doubleClicks; };
    icon.OnBalloonClick = [&] { ++balloonClicks; };
    icon.OnPopupMenu = [&](int, int) { ++popups; };
    Notify(c.notification);
    EXPECT_EQ(doubleClicks, c.doubleClicks);
    EXPECT_EQ(popups, c.popups);
    EXPECT_EQ(balloonClicks, c.balloonClicks);
}

INSTANTIATE_TEST_SUITE_P(Notifications, TrayIconEvents,
                         ::testing::Values(MouseCase{w32::kWmLButtonDblClk, 1, 0, 0},
                                           MouseCase{w32::kWmRButtonDblClk, 1, 0, 0},
                                           MouseCase{w32::kWmMButtonDblClk, 1, 0, 0},
                                           MouseCase{w32::kWmRButtonUp, 0, 1, 0},
                                           MouseCase{w32::kNinBalloonUserClick, 0, 0, 1},
                                           // A single left click, and every other mouse notification, does nothing.
                                           MouseCase{w32::kWmLButtonDown, 0, 0, 0},
                                           MouseCase{w32::kWmLButtonUp, 0, 0, 0},
                                           MouseCase{w32::kWmRButtonDown, 0, 0, 0},
                                           MouseCase{w32::kWmMButtonUp, 0, 0, 0},
                                           MouseCase{w32::kWmMouseMove, 0, 0, 0},
                                           MouseCase{w32::kNinBalloonShow, 0, 0, 0}));

TEST_F(TrayIconWidget, TheMenuOpensAtTheCursorAfterTheApplicationComesForward) {
    const Hwnd app = sim.world.AddWindow(u"Kestrix", u"TKXTrayForm", 4000, 1);
    icon.applicationWindow = app;
    sim.world.cursorX = 1000;
    sim.world.cursorY = 750;
    int x = 0;
    int y = 0;
    std::vector<Hwnd> foregroundAtPopup;
    int waitingRunsAtPopup = -1;
    icon.OnPopupMenu = [&](int px, int py) {
        x = px;
        y = py;
        foregroundAtPopup = sim.world.foregroundRequests;
        waitingRunsAtPopup = sim.world.waitingMessageRuns;
    };
    Notify(w32::kWmRButtonUp);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, 750);
    EXPECT_EQ(foregroundAtPopup, std::vector<Hwnd>{app});
    EXPECT_EQ(waitingRunsAtPopup, 1) << "the waiting messages are handled before the menu opens";
}

TEST_F(TrayIconWidget, AnswersTheEndOfTheSession) {
    icon.SetVisible(true);
    EXPECT_EQ(Send(w32::kWmQueryEndSession), 1);
    Send(w32::kWmEndSession, 0);
    EXPECT_TRUE(InNotificationArea()) << "a cancelled end of session keeps the icon";
    Send(w32::kWmEndSession, 1);
    EXPECT_EQ(Last().message, w32::kNimDelete);
    EXPECT_FALSE(InNotificationArea());
}

TEST_F(TrayIconWidget, LeavesOtherMessagesToTheWindow) {
    std::intptr_t result = 0;
    EXPECT_FALSE(icon.HandleMessage(w32::kWmClose, 0, 0, &result));
}

TEST(TrayIconLifetime, DestructionRemovesTheIconAndReleasesEveryPicture) {
    sim::SimPlatform sim;
    const Hwnd window = sim.world.AddWindow(u"", u"TKXTrayIconWindow", 4000, 1);
    {
        TrayIcon icon(sim.shell, sim.windows, sim.drawing, window, kCallback);
        icon.SetVisible(true);
        const std::uint32_t pixels[1] = {7};
        KHandle picture = sim.drawing.CreateIconFromPixels(1, 1, pixels, nullptr);
        icon.SetIcon(picture);
        sim.drawing.DestroyIcon(picture);
    }
    EXPECT_EQ(sim.world.notifyCalls.back().message, w32::kNimDelete);
    EXPECT_TRUE(sim.world.notifyIcons.empty());
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
    EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
}

}  // namespace
}  // namespace kx
