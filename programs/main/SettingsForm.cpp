// The settings window: the priority, the switches and the language.
#include "AppCore.h"

#include <commctrl.h>
#include <commdlg.h>
#include <oleauto.h>

#include <algorithm>
#include <array>
#include "ControlIds.h"
#include "FormParts.h"
#include "companion/BlockListStore.h"
#include "config/Contract.h"
#include "config/TextRules.h"
#include "display/ColorText.h"
#include "config/WindowsVersion.h"
#include "engine/BlockList.h"
#include "engine/LookOutcome.h"
#include "platform/Failure.h"
#include "update/UpdateDates.h"

namespace kxapp {

namespace {

// -------------------------------------------------------------- settings

class SettingsForm : public Form {
public:
    explicit SettingsForm(App& app) : Form(app, W(kx::contract::kSettingsFormClass), W(kx::contract::kSettingsFormGroup), 460, 434) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kSettingsFormGroup)).c_str());
        SetCaption(kIdPriorityLabel, L"PriorityLabel");
        SetCaption(kIdRealtimeWarning, L"RealtimeWarning");
        SetCaption(kIdIdeal, L"IdealCheck");
        SetCaption(kIdTrayIcon, L"TrayIconCheck");
        SetCaption(kIdStartWithWindows, L"StartCheck");
        SetCaption(kIdInstantBoost, L"InstantBoostCheck");
        SetCaption(kIdRestoreOnExit, L"RestoreCheck");
        SetText(kIdCorePlacement, app_.Caption(W(kx::contract::kStatusGroup), L"CorePlacementCheck"));
        SetText(kIdShowStatus, app_.Caption(W(kx::contract::kStatusGroup), L"ShowStatusCheck"));
        SetCaption(kIdBusiestCore, L"BusiestCheck");
        SetCaption(kIdFollowTheme, L"FollowThemeCheck");
        SetCaption(kIdLanguageLabel, L"LanguageLabel");
        SetCaption(kIdSave, L"SaveButton");
        SetCaption(kIdClose, L"CloseButton");
        const int chosen = static_cast<int>(SendMessageW(Item(kIdPriority), CB_GETCURSEL, 0, 0));
        FillPriorities(chosen < 0 ? StoredPriorityEntry() : chosen);
        ShowPolicies();
    }

private:
    void Build() override {
        // Placed for a start; Arrange gives each its place for its texts.
        Add(L"STATIC", kLabel, kIdPriorityLabel, 12, 12, 436, 20);
        Add(L"COMBOBOX", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kIdPriority, 12, 34, 260, 200);
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdRealtimeWarning, 12, 64, 436, 50);
        for (int id : kSwitchIds) Add(L"BUTTON", BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, id, 12, 120, 436, 22);
        Add(L"STATIC", kLabel, kIdLanguageLabel, 12, 260, 150, 20);
        Add(L"COMBOBOX", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kIdLanguage, 166, 256, 220, 200);
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdSave, 236, 306, 104, 30);
        Add(L"BUTTON", kButton, kIdClose, 344, 306, 104, 30);
        // Each language by its own name, whatever the language of the window.
        for (const wchar_t* name : {L"English", L"Fran\u00E7ais", L"\uD55C\uAD6D\uC5B4", L"Portugu\u00EAs (Brasil)",
                                    L"\u0420\u0443\u0441\u0441\u043A\u0438\u0439"}) {
            SendMessageW(Item(kIdLanguage), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
        Load();
    }

    // The stored values, each shown as stored: a priority level or a
    // language KestrixTray does not know gets an entry of its own after the
    // known ones, and stays as stored unless the user picks another.
    // The entry of the stored level: its own, after the six, when it is none of them.
    int StoredPriorityEntry() const {
        return kx::SettingsEditor::IsValidPriority(loaded_.processorPriority) ? loaded_.processorPriority + 2 : 6;
    }

    // The six levels in the window's language, the stored one if it is none of them, and the choice.
    void FillPriorities(int chosen) {
        HWND priority = Item(kIdPriority);
        SendMessageW(priority, CB_RESETCONTENT, 0, 0);
        for (const wchar_t* key : {L"PriorityIdle", L"PriorityBelow", L"PriorityNormal", L"PriorityAbove",
                                   L"PriorityHigh", L"PriorityRealtime"}) {
            SendMessageW(priority, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Caption(key).c_str()));
        }
        if (!kx::SettingsEditor::IsValidPriority(loaded_.processorPriority)) {
            const std::wstring stored = std::to_wstring(loaded_.processorPriority);
            SendMessageW(priority, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(stored.c_str()));
        }
        SendMessageW(priority, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    }

    void Load() {
        loaded_ = app_.Settings().Read();
        const kx::SettingsSnapshot& s = loaded_;
        FillPriorities(StoredPriorityEntry());
        CheckDlgButton(Handle(), kIdIdeal, s.processorIdeal ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdTrayIcon, s.loadTrayIcon ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdInstantBoost, s.instantBoost ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdRestoreOnExit, s.restoreOnExit ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdCorePlacement, s.corePlacement ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdShowStatus, s.showStatus ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdBusiestCore, s.busiestCore ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Handle(), kIdFollowTheme, s.followTheme ? BST_CHECKED : BST_UNCHECKED);
        startsLoaded_ = s.loadKestrix && app_.Settings().StartsWithWindows();
        CheckDlgButton(Handle(), kIdStartWithWindows, startsLoaded_ ? BST_CHECKED : BST_UNCHECKED);
        HWND language = Item(kIdLanguage);
        if (SendMessageW(language, CB_GETCOUNT, 0, 0) > 5) SendMessageW(language, CB_DELETESTRING, 5, 0);
        int chosen = -1;
        for (std::size_t i = 0; i < kx::kLanguageNames.size(); ++i) {
            if (s.language == kx::kLanguageNames[i]) chosen = static_cast<int>(i);
        }
        if (chosen < 0) {
            SendMessageW(language, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(s.languageText)));
            chosen = 5;
        }
        SendMessageW(language, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
        ShowWarning();
    }

    void ShowWarning() {
        const auto chosen = SendMessageW(Item(kIdPriority), CB_GETCURSEL, 0, 0);
        ShowWindow(Item(kIdRealtimeWarning), chosen == 5 ? SW_SHOW : SW_HIDE);
        Arrange();
    }

    // The switches in their order on the window, and the value each stands for.
    static constexpr int kSwitchIds[] = {kIdIdeal, kIdTrayIcon, kIdStartWithWindows, kIdInstantBoost,
                                         kIdRestoreOnExit, kIdCorePlacement, kIdShowStatus,
                                         kIdBusiestCore, kIdFollowTheme};

    // A setting the organisation sets by a policy: its control is disabled
    // and its caption says so.
    void ShowPolicies() {
        struct Shown {
            int control;
            int caption;  // the control itself, or the label before it
            std::wstring text;
            const char16_t* name;
        };
        using namespace kx::contract;
        const Shown shown[] = {
            {kIdPriority, kIdPriorityLabel, Caption(L"PriorityLabel"), kProcessorPriority},
            {kIdIdeal, kIdIdeal, Caption(L"IdealCheck"), kProcessorIdeal},
            {kIdTrayIcon, kIdTrayIcon, Caption(L"TrayIconCheck"), kLoadTrayIcon},
            {kIdStartWithWindows, kIdStartWithWindows, Caption(L"StartCheck"), kLoadKestrix},
            {kIdInstantBoost, kIdInstantBoost, Caption(L"InstantBoostCheck"), kInstantBoost},
            {kIdRestoreOnExit, kIdRestoreOnExit, Caption(L"RestoreCheck"), kRestoreOnExit},
            {kIdCorePlacement, kIdCorePlacement, app_.Caption(W(kStatusGroup), L"CorePlacementCheck"), kCorePlacement},
            {kIdShowStatus, kIdShowStatus, app_.Caption(W(kStatusGroup), L"ShowStatusCheck"), kShowStatus},
            {kIdBusiestCore, kIdBusiestCore, Caption(L"BusiestCheck"), kBusiestCore},
            {kIdFollowTheme, kIdFollowTheme, Caption(L"FollowThemeCheck"), kFollowTheme},
            {kIdLanguage, kIdLanguageLabel, Caption(L"LanguageLabel"), kLanguage},
        };
        for (const Shown& s : shown) {
            const bool byPolicy = app_.Settings().SetByPolicy(s.name);
            EnableWindow(Item(s.control), !byPolicy);
            SetText(s.caption, byPolicy ? s.text + L" " + Message(L"PolicySet") : s.text);
        }
        Arrange();
    }

    // One control under the other, each as tall as its text needs in the
    // window's language: no gap where the realtime warning is hidden, no
    // caption cut where a language's text is long.
    void Arrange() {
        int y = 12;
        const int label = std::max(20, TextHeight(WindowText(Item(kIdPriorityLabel)), 436));
        Move(kIdPriorityLabel, 12, y, 436, label);
        y += label + 2;
        Move(kIdPriority, 12, y, 260, 200);
        y += 30;
        if (IsWindowVisible(Item(kIdRealtimeWarning))) {
            const int warning = TextHeight(WindowText(Item(kIdRealtimeWarning)), 436);
            Move(kIdRealtimeWarning, 12, y, 436, warning);
            y += warning + 8;
        }
        y += 4;
        for (int id : kSwitchIds) {
            // The box and its gap take about 20 units of the width.
            const int height = std::max(22, TextHeight(WindowText(Item(id)), 436 - 20) + 4);
            Move(id, 12, y, 436, height);
            y += height + 4;
        }
        y += 8;
        const int languageLabel = std::max(20, TextHeight(WindowText(Item(kIdLanguageLabel)), 150));
        Move(kIdLanguageLabel, 12, y + 4, 150, languageLabel);
        Move(kIdLanguage, 166, y, 220, 200);
        y += std::max(26, languageLabel + 4) + 20;
        Move(kIdSave, 236, y, 104, 30);
        Move(kIdClose, 344, y, 104, 30);
        SetClientHeight(y + 30 + 46);
    }

    // Writes what the user changed, and only that.
    void Save() {
        kx::SettingsEditor& settings = app_.Settings();
        kx::SettingsSnapshot edited = loaded_;
        const auto level = static_cast<int>(SendMessageW(Item(kIdPriority), CB_GETCURSEL, 0, 0));
        if (level >= 0 && level < 6) edited.processorPriority = level - 2;
        edited.processorIdeal = IsDlgButtonChecked(Handle(), kIdIdeal) == BST_CHECKED;
        edited.loadTrayIcon = IsDlgButtonChecked(Handle(), kIdTrayIcon) == BST_CHECKED;
        edited.instantBoost = IsDlgButtonChecked(Handle(), kIdInstantBoost) == BST_CHECKED;
        edited.restoreOnExit = IsDlgButtonChecked(Handle(), kIdRestoreOnExit) == BST_CHECKED;
        edited.corePlacement = IsDlgButtonChecked(Handle(), kIdCorePlacement) == BST_CHECKED;
        edited.showStatus = IsDlgButtonChecked(Handle(), kIdShowStatus) == BST_CHECKED;
        edited.busiestCore = IsDlgButtonChecked(Handle(), kIdBusiestCore) == BST_CHECKED;
        edited.followTheme = IsDlgButtonChecked(Handle(), kIdFollowTheme) == BST_CHECKED;
        const bool start = IsDlgButtonChecked(Handle(), kIdStartWithWindows) == BST_CHECKED;
        kx::SettingWrite run = kx::SettingWrite::Written;
        if (start != startsLoaded_) {
            // LoadKestrix alone decides whether the logon start proceeds, and ordinary
            // rights can write it; the logon entry itself needs administrator rights.
            edited.loadKestrix = start;
            if (start && !settings.StartsWithWindows()) {
                run = settings.SetStartWithWindows(true);
            } else if (!start && settings.StartsWithWindows()) {
                settings.SetStartWithWindows(false);
            }
        }
        const auto language = SendMessageW(Item(kIdLanguage), CB_GETCURSEL, 0, 0);
        if (language >= 0 && language < 5) edited.languageText = kx::kLanguageNames[static_cast<std::size_t>(language)];
        const bool languageChanged = kx::AsciiLower(edited.languageText) != loaded_.language;

        const kx::SaveReport report = settings.SaveChanges(loaded_, edited);
        if (!report.invalid.empty()) {
            ShowStatus(InvalidText(report.invalid), true);
            return;
        }
        if (!report.refused.empty()) {
            ShowStatus(Message(L"WriteRefused"), true);
            MessageBoxW(Handle(), Message(L"WriteRefused").c_str(), Plain(Caption(W(kx::contract::kSettingsFormGroup))).c_str(),
                        MB_OK | MB_ICONWARNING);
            return;
        }
        Load();  // what is stored now is what the next save compares with
        if (languageChanged) app_.ReloadCaptions();
        if (run != kx::SettingWrite::Written) {
            // Without an installed location there is no copy every account may start.
            ShowStatus(Message(run == kx::SettingWrite::Invalid ? L"NotInstalled" : L"RunRefused"), true);
        } else {
            ShowStatus(Message(languageChanged ? L"LanguageNote" : L"Saved"));
        }
    }

    void OnCommand(int id, int code) override {
        if (id == kIdPriority && code == CBN_SELCHANGE) ShowWarning();
        if (id == kIdSave && code == BN_CLICKED) Save();
    }

    kx::SettingsSnapshot loaded_;
    bool startsLoaded_ = false;
};

}  // namespace

std::unique_ptr<Form> MakeSettingsForm(App& app) { return std::make_unique<SettingsForm>(app); }

}  // namespace kxapp
