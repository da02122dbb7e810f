// The tray form TKXTrayForm: the program's one form, never shown. It owns the
// notification-area icon, the one-second main cycle, the icon's menu and,
// for the run, the process-wide records of the other concerns.
#pragma once

#include "config/Contract.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/AccelerationStage.h"
#include "app/ForegroundWatch.h"
#include "app/MainCycle.h"
#include "app/Shell.h"
#include "app/SystemFont.h"
#include "platform/TrayIcon.h"
#include "config/Captions.h"
#include "config/Settings.h"
#include "display/BusiestCore.h"
#include "display/IconSize.h"
#include "display/LoadIconRenderer.h"
#include "display/LoadMeter.h"
#include "display/TrayIconStages.h"
#include "engine/BlockList.h"
#include "engine/IdealProcessor.h"
#include "engine/Priority.h"
#include "platform/Platform.h"
#include "update/UpdateChecker.h"
#include "update/UpdateNotice.h"

namespace kx {

namespace w32 {
constexpr std::uint32_t kMfString = 0x0000;
constexpr std::uint32_t kMfSeparator = 0x0800;
constexpr std::uint32_t kTpmRightButton = 0x0002;
constexpr std::uint32_t kTpmRightAlign = 0x0008;
constexpr std::uint32_t kTpmNoNotify = 0x0080;
constexpr std::uint32_t kTpmReturnCmd = 0x0100;
}  // namespace w32

// The main program's top-level windows that Exit closes, dialogs first.
using contract::kCompanionWindowClasses;
// How long Exit waits for one main-program window to handle WM_CLOSE.
constexpr std::uint32_t kCompanionCloseTimeoutMs = 5000;

class TKXTrayForm {
public:
    // The form's component name, the first column of its caption rows.
    static constexpr const char16_t* kName = contract::kTrayFormGroup;
    static constexpr std::uint32_t kTimerIntervalMs = 1000;

    // formWindow: the form's hidden top-level window of class "TKXTrayForm",
    // which is also the application window; iconWindow: the icon widget's own
    // hidden window, which receives iconMessage from the shell. events: the
    // window events and look timer of the immediate boost; none, no boost.
    TKXTrayForm(const Platform& api, Hwnd formWindow, Hwnd iconWindow, std::uint32_t iconMessage,
                IForegroundEvents* events = nullptr);
    TKXTrayForm(const TKXTrayForm&) = delete;
    TKXTrayForm& operator=(const TKXTrayForm&) = delete;

    // The creation steps: desktop font, 9-point limit, captions, block list,
    // own priority. Never raises; the form exists in any case.
    void FormCreate();
    // Closes the form once: FormClose, then onClosed (which destroys the
    // window and so ends the program). Later calls do nothing.
    void Close();
    std::function<void()> onClosed;
    bool Closed() const { return closed_; }

    // The timer's tick. It first looks whether the settings key changed
    // since the last tick: a value is read again only then.
    void MainTimerTimer();
    // The display's scale, the taskbar or the monitors may have changed
    // (WM_DPICHANGED, WM_SETTINGCHANGE, WM_DISPLAYCHANGE, "TaskbarCreated"):
    // the next picture takes the taskbar's size afresh.
    void DisplayChanged() { iconSizer_.ScaleMayHaveChanged(); }
    // A window event says the foreground changed: the look of stage 1 runs at
    // once (InstantBoost), or when the look timer fires. Dropped while a tick
    // or Exit runs, and once closed.
    void ForegroundEvent();
    void LookTimerFired();
    // The Windows session ends (WM_ENDSESSION): the raised process goes back (RestoreOnExit).
    void SessionEnding();
    // The tooltip's second line follows the last look's outcome while ShowStatus is on.
    void ShowStatusInTooltip();
    LookFollowUp& FollowUp() { return followUp_; }

    // The handlers of the menu, the icon and the form.
    void FormClose();
    void OpenPopupClick();
    void TrayIconDblClick();
    void TrayIconBalloonClick();
    void HelpPopupClick();
    void ExitPopupClick();

    // Opens the menu at (x, y) and runs the chosen command.
    void PopupMenuAt(int x, int y);

    struct MenuItem {
        Text name;     // component name: OpenPopup, N3, UpdatePopup, ...
        Text caption;  // "-" for a separator; the others come from the caption table
        void (TKXTrayForm::*onClick)();
    };
    const std::vector<MenuItem>& MenuItems() const { return menu_; }
    const Text& Caption() const { return caption_; }
    const FormFont& Font() const { return font_; }

    TrayIcon& Icon() { return trayIcon_; }
    MainCycle& Cycle() { return mainCycle_; }
    const SettingsStore& Settings() const { return settings_; }
    const Captions& CaptionTables() const { return captions_; }
    Shell& Launcher() { return shell_; }
    BlockList& Blocks() { return blockList_; }
    PriorityControl& Priority() { return priority_; }
    Hwnd Window() const { return window_; }

private:
    CaptionForm CaptionTargets();
    // Stage 1: the hooks of the immediate boost follow InstantBoost, then the look.
    void RunAccelerationStage();
    // The hooks of the immediate boost installed or removed as InstantBoost says.
    void FollowInstantBoost();
    // One step of the immediate boost's watch, between ticks only.
    void WatchStep(void (ForegroundWatch::*step)());

    Platform api_;
    Hwnd window_;
    SettingsStore settings_;
    Captions captions_;
    TrayIcon trayIcon_;
    Shell shell_;
    BlockList blockList_;
    PriorityControl priority_;
    // The process-wide records of the main cycle's stages, for the run.
    ProcessorSampler sampler_;
    RaisedProcessKeeper raisedKeeper_;
    LookFollowUp followUp_;
    AccelerationStage acceleration_;
    std::unique_ptr<ForegroundWatch> watch_;  // none without the events of the immediate boost
    LoadMeter loadMeter_;
    BusiestCoreMeter busiestMeter_;
    WatchedKey themeKey_;
    IconSizer iconSizer_;
    IconRenderer renderer_;
    TrayIconStages trayStages_;
    UpdateChecker updateChecker_;
    UpdateNotice updateNotice_;
    MainCycle mainCycle_;
    FormFont font_;
    Text caption_;
    std::vector<MenuItem> menu_;
    bool closed_ = false;
    bool exiting_ = false;  // Exit is closing the main program's windows
    Text baseHint_;               // the caption table's hint, the tooltip's first line
    bool statusShown_ = false;    // the tooltip holds the status line
    std::uint64_t shownChanges_ = 0;  // the outcome it shows
};

}  // namespace kx
