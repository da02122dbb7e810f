#include "app/TrayForm.h"

#include "config/WindowsVersion.h"
#include "display/GraphColors.h"

namespace kx {

namespace {

// Runs one step whose failure is its own: the following steps run all the same.
template <typename Step>
void Contained(Step step) {
    try {
        step();
    } catch (...) {
    }
}

constexpr std::size_t kOpenPopupIndex = 0;

}  // namespace

TKXTrayForm::TKXTrayForm(const Platform& api, Hwnd formWindow, Hwnd iconWindow, std::uint32_t iconMessage,
                         IForegroundEvents* events)
    : api_(api),
      window_(formWindow),
      settings_(api.registry, &api.trace),
      captions_(settings_, api.system),
      trayIcon_(api.shell, api.windows, api.drawing, iconWindow, iconMessage),
      shell_(api.shell, api.windows, api.libraries, api.processes, formWindow, &api.trace),
      blockList_(api.system, api.files, &api.trace),
      priority_(api.windows, api.processes, &api.trace),
      sampler_(IdealProcessorApi{api.registry, api.system, api.windows, api.processes, api.libraries, &api.trace}),
      raisedKeeper_(api.registry, InspectionApi{api.windows, api.processes, api.system, api.libraries, &api.trace},
                    settings_, sampler_, api.trace),
      followUp_(settings_, PlacementApi{api.system, api.processes, api.libraries, &api.trace}, api.registry,
                api.processes.GetCurrentProcessId(), &api.trace),
      acceleration_(InspectionApi{api.windows, api.processes, api.system, api.libraries, &api.trace}, settings_, blockList_,
                    priority_, sampler_, &api.trace),
      loadMeter_(api.system, api.libraries, &api.trace),
      busiestMeter_(api.system, api.libraries, &api.trace),
      themeKey_(api.registry, w32::kHkeyCurrentUser, kPersonalizeKey, w32::kKeyRead, &api.trace, "theme"),
      iconSizer_(api.windows, api.libraries),
      renderer_(api.windows, api.drawing, &iconSizer_),
      trayStages_(api.windows, api.clock, api.system, settings_, trayIcon_, loadMeter_, renderer_, &api.trace),
      updateChecker_(api.network, api.clock, ProgramUpdateEndpoint(), UpdateTimeouts{}, &api.trace),
      updateNotice_(api.clock, settings_, captions_, trayIcon_, updateChecker_, kUpdateFirstCount, &api.trace),
      mainCycle_(TickStages{
          [this] {
              RunAccelerationStage();
              ShowStatusInTooltip();
          },
          [this] { BlockListReloadStage(blockList_, settings_, api_.system, api_.shell); },
          [this] { return trayStages_.TrayVisibilityStage(); },
          [this](bool iconShown) { updateNotice_.UpdateNoticeStage(iconShown); },
          [this] { trayStages_.IconRefreshStage(); },
      }, &api.trace),
      menu_{
          {u"OpenPopup", {}, &TKXTrayForm::OpenPopupClick},
          {u"N3", u"-", nullptr},
          {u"UpdatePopup", {}, &TKXTrayForm::TrayIconBalloonClick},
          {u"N2", u"-", nullptr},
          {u"HelpPopup", {}, &TKXTrayForm::HelpPopupClick},
          {u"N1", u"-", nullptr},
          {u"ExitPopup", {}, &TKXTrayForm::ExitPopupClick},
      } {
    acceleration_.KeepRaisedProcessWith(&raisedKeeper_);
    acceleration_.FollowLooksWith(&followUp_);
    trayStages_.ShowBusiestCoreWith(&busiestMeter_);
    trayStages_.FollowThemeWith(&themeKey_);
    if (events != nullptr) {
        watch_ = std::make_unique<ForegroundWatch>(acceleration_, api.windows, api.clock, *events,
                                                   RunningUnderWine(api.libraries), &api.trace);
    }
    trayIcon_.applicationWindow = window_;
    trayIcon_.OnDblClick = [this] { TrayIconDblClick(); };
    trayIcon_.OnBalloonClick = [this] { TrayIconBalloonClick(); };
    trayIcon_.OnPopupMenu = [this](int x, int y) { PopupMenuAt(x, y); };
}

CaptionForm TKXTrayForm::CaptionTargets() {
    CaptionForm form;
    form.name = kName;
    form.setCaption = [this](const Text& text) { caption_ = text; };
    for (MenuItem& item : menu_) {
        form.components.push_back({item.name, ComponentKind::MenuEntry, [&item](const Text& text) {
                                       item.caption = text;
                                   }});
    }
    form.components.push_back(
        {u"TrayIcon", ComponentKind::NotifyIcon, [this](const Text& text) {
             baseHint_ = text;
             trayIcon_.SetHint(text);
         }});
    form.components.push_back({u"MainTimer", ComponentKind::Other, nullptr});
    form.components.push_back({u"PopupMenu", ComponentKind::Other, nullptr});
    return form;
}

void TKXTrayForm::FormCreate() {
    try {
        // The desktop's icon-title font, or the stock system font when the desktop does not say.
        FormFont font;
        font.pixelsPerInch = api_.windows.GetSystemDpi();
        LogFontInfo desktopFont;
        if (api_.windows.GetIconTitleLogFont(&desktopFont)) {
            font.face = desktopFont.lfFaceName;
            font.height = desktopFont.lfHeight;
        } else {
            font.face = u"System";
            font.height = MulDiv(16, font.pixelsPerInch, 96);
        }
        font_ = font;

        Contained([this] { ApplySystemFont(font_, {}); });
        Contained([this] {
            CaptionForm form = CaptionTargets();
            captions_.ApplyCaptions(form);
        });
        Contained([this] { blockList_.LoadBlockList(BlockListPath(api_.system, api_.shell), settings_.Policies().BlockRows()); });
        Contained([this] { priority_.SetProcessPriorityLevel(api_.processes.GetCurrentProcessId(), 2); });
        // The immediate boost is ready before the first tick, which comes a second later.
        Contained([this] { FollowInstantBoost(); });
        // A run that ended without putting its raised process back (a crash, a kill).
        Contained([this] {
            if (raisedKeeper_.RestoreLeftOver()) acceleration_.ForgetRecordedWindow();
        });
    } catch (...) {
        // The form is created all the same.
    }
}

void TKXTrayForm::Close() {
    if (closed_) return;
    closed_ = true;
    FormClose();
    if (onClosed) onClosed();
}

void TKXTrayForm::FormClose() {
    Contained([this] { raisedKeeper_.RestoreAtExit(); });
    Contained([this] {
        if (settings_.RegReadBool(contract::kRestoreOnExit, false)) followUp_.Restore();
    });
    Contained([this] { blockList_.FreeBlockList(); });
}

void TKXTrayForm::OpenPopupClick() {
    Contained([this] { shell_.ShellOpen(shell_.ProgramFolder() + contract::kMainProgramFile, u""); });
}

void TKXTrayForm::TrayIconDblClick() { OpenPopupClick(); }

void TKXTrayForm::TrayIconBalloonClick() {
    Contained([this] { shell_.ShellOpenDetached(shell_.ProgramFolder() + contract::kUpdaterFile, u""); });
}

void TKXTrayForm::HelpPopupClick() {
    Contained([this] { shell_.ShowHelpTopic(contract::kHelpFile, contract::kHelpTopic); });
}

void TKXTrayForm::MainTimerTimer() {
    settings_.Refresh();
    mainCycle_.MainTimerTimer();
}

void TKXTrayForm::FollowInstantBoost() {
    if (watch_) watch_->Follow(settings_.RegReadBool(contract::kInstantBoost, false));
}

void TKXTrayForm::RunAccelerationStage() {
    Contained([this] { FollowInstantBoost(); });
    acceleration_.Run();
}

void TKXTrayForm::ForegroundEvent() { WatchStep(&ForegroundWatch::Event); }

void TKXTrayForm::LookTimerFired() { WatchStep(&ForegroundWatch::LookTimerFired); }

void TKXTrayForm::WatchStep(void (ForegroundWatch::*step)()) {
    if (closed_ || exiting_ || mainCycle_.Running() || !watch_) return;
    try {
        const std::uint64_t before = followUp_.OutcomeChanges();
        ((*watch_).*step)();
        // Most events change nothing, and cost no settings read here.
        if (followUp_.OutcomeChanges() != before) ShowStatusInTooltip();
    } catch (...) {
        api_.trace.Line("instantboost", "the look at the new foreground window failed");
    }
}

void TKXTrayForm::SessionEnding() {
    Contained([this] { raisedKeeper_.RestoreAtExit(); });
    Contained([this] {
        if (settings_.RegReadBool(contract::kRestoreOnExit, false)) followUp_.Restore();
    });
}

void TKXTrayForm::ShowStatusInTooltip() {
    try {
        const bool show = settings_.RegReadBool(contract::kShowStatus, false);
        if (show == statusShown_ && (!show || followUp_.OutcomeChanges() == shownChanges_)) return;
        statusShown_ = show;
        shownChanges_ = followUp_.OutcomeChanges();
        trayIcon_.SetHint(HintWithStatus(baseHint_, show ? StatusLine(followUp_.Outcome(), captions_) : Text()));
    } catch (...) {
        api_.trace.Line("status", "the tooltip could not be changed");
    }
}

void TKXTrayForm::ExitPopupClick() {
    exiting_ = true;
    Contained([this] {
        for (const char16_t* className : kCompanionWindowClasses) {
            const Text name = className;
            const Hwnd window = api_.windows.FindWindowW(&name, nullptr);
            if (window == 0) continue;
            // A bounded wait: a main-program window that never answers must not hold Exit up.
            std::uintptr_t answer = 0;
            api_.windows.SendMessageTimeoutW(window, w32::kWmClose, 0, 0, w32::kSmtoAbortIfHung,
                                             kCompanionCloseTimeoutMs, &answer);
        }
    });
    Close();
}

void TKXTrayForm::PopupMenuAt(int x, int y) {
    void (TKXTrayForm::*command)() = nullptr;
    try {
        OwnedMenu menu(api_.windows, api_.windows.CreatePopupMenu());
        if (!menu) return;
        for (std::size_t i = 0; i < menu_.size(); ++i) {
            const MenuItem& item = menu_[i];
            if (item.caption == u"-") {
                api_.windows.AppendMenuW(menu.get(), w32::kMfSeparator, 0, {});
            } else {
                api_.windows.AppendMenuW(menu.get(), w32::kMfString, i + 1, item.caption);
            }
        }
        api_.windows.SetMenuDefaultItem(menu.get(), static_cast<std::uint32_t>(kOpenPopupIndex + 1), false);
        const std::uint32_t chosen =
            api_.windows.TrackPopupMenu(menu.get(),
                                        w32::kTpmRightAlign | w32::kTpmRightButton | w32::kTpmReturnCmd |
                                            w32::kTpmNoNotify,
                                        x, y, window_);
        if (chosen >= 1 && chosen <= menu_.size()) command = menu_[chosen - 1].onClick;
    } catch (...) {
        return;
    }
    // The menu is gone before its command runs.
    if (command != nullptr) (this->*command)();
}

}  // namespace kx
