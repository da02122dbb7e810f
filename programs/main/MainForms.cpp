// The main window, the two settings windows, the statistics, the self-check
// and the about window.
#include "AppCore.h"

#include <commctrl.h>
#include <commdlg.h>
#include <oleauto.h>

#include <algorithm>
#include <array>
#include "ControlIds.h"
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

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT;
constexpr UINT_PTR kRefreshTimer = 1;

std::wstring Plain(const std::wstring& text) {
    const Text plain = kx::StripAccessKey(T(text));
    return std::wstring(plain.begin(), plain.end());
}

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

// A save that wrote nothing because the user entered values KestrixTray does
// not accept names them.
std::wstring InvalidText(const std::vector<Text>& names) {
    std::wstring text = L"Not saved, not a valid value:";
    for (const Text& name : names) text += L" " + Wide(name);
    return text;
}

// ------------------------------------------------------------------ main

class MainForm : public Form {
public:
    explicit MainForm(App& app) : Form(app, W(kx::contract::kMainFormClass), W(kx::contract::kMainFormGroup), 460, 374) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kMainFormGroup)).c_str());
        SetCaption(kIdCurrentTitle, L"CurrentTitleLabel");
        SetCaption(kIdAddCurrent, L"AddCurrentButton");
        SetCaption(kIdStartTray, L"StartTrayButton");
        SetCaption(kIdOpenSettings, L"SettingsButton");
        SetCaption(kIdOpenAdvanced, L"AdvancedButton");
        SetCaption(kIdOpenBlockList, L"BlockListButton");
        SetCaption(kIdOpenStats, L"StatsButton");
        SetCaption(kIdOpenTest, L"TestButton");
        SetCaption(kIdOpenHelp, L"HelpButton");
        SetCaption(kIdOpenAbout, L"AboutButton");
        SetCaption(kIdClose, L"CloseButton");
        SetText(kIdLastLookLabel, app_.Caption(W(kx::contract::kStatusGroup), L"LastLookLabel"));
        shown_ = reinterpret_cast<HWND>(-1);
        lookShown_ = kx::LookOutcome{};
        lookRead_ = false;
        Refresh();
    }

private:
    void Build() override {
        Add(L"STATIC", kLabel, kIdCurrentTitle, 12, 12, 436, 20);
        Add(L"STATIC", kLabel | SS_NOPREFIX | SS_ENDELLIPSIS, kIdCurrentCaption, 24, 34, 424, 20);
        Add(L"STATIC", kLabel | SS_NOPREFIX | SS_PATHELLIPSIS, kIdCurrentPath, 24, 56, 424, 20);
        Add(L"BUTTON", kButton, kIdAddCurrent, 12, 82, 260, 28);
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdTrayStatus, 12, 126, 272, 20);
        Add(L"BUTTON", kButton, kIdStartTray, 288, 120, 160, 28);
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdLastLookLabel, 12, 156, 436, 20);
        Add(L"STATIC", kLabel | SS_NOPREFIX | SS_ENDELLIPSIS, kIdLastLook, 24, 178, 424, 20);
        const int ids[] = {kIdOpenSettings, kIdOpenAdvanced, kIdOpenBlockList, kIdOpenStats,
                           kIdOpenTest,     kIdOpenHelp,     kIdOpenAbout,     kIdClose};
        for (int i = 0; i < 8; ++i) Add(L"BUTTON", kButton, ids[i], 12 + (i % 2) * 222, 206 + (i / 2) * 34, 214, 30);
        SetTimer(Handle(), kRefreshTimer, 1000, nullptr);
    }

    void OnTimer() override { Refresh(); }

    void Refresh() {
        HWND window = AcceleratedWindow(app_);
        if (window != shown_) {
            shown_ = window;
            if (window == nullptr) {
                SetText(kIdCurrentCaption, Caption(L"NothingAccelerated"));
                SetText(kIdCurrentPath, L"");
            } else {
                SetText(kIdCurrentCaption, WindowText(window));
                SetText(kIdCurrentPath, WindowProgramPath(app_, window));
            }
            EnableWindow(Item(kIdAddCurrent), window != nullptr);
        }
        const bool running = app_.TrayRunning();
        SetText(kIdTrayStatus, Caption(running ? L"TrayRunning" : L"TrayNotRunning"));
        EnableWindow(Item(kIdStartTray), !running);
        // What the tray's last look did, from the current user's Status key.
        const kx::LookOutcome look = kx::ReadStatusRecord(app_.Api().registry);
        if (!lookRead_ || look != lookShown_) {
            lookRead_ = true;
            lookShown_ = look;
            const auto caption = [this](const char16_t* key, const char16_t* english) {
                const std::wstring text = app_.Caption(W(kx::contract::kStatusGroup), W(key));
                return text.empty() ? Text(english) : T(text);
            };
            SetText(kIdLastLook, look.kind == kx::OutcomeKind::None
                                     ? app_.Caption(W(kx::contract::kStatusGroup), L"NoLook")
                                     : Wide(kx::StatusLine(look, caption)));
        }
    }

    void OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return;
        switch (id) {
            case kIdAddCurrent:
                if (HWND window = AcceleratedWindow(app_)) ProposeWindow(app_, window);
                break;
            case kIdStartTray: app_.StartTray(); break;
            case kIdOpenSettings: app_.Open(FormKind::Settings); break;
            case kIdOpenAdvanced: app_.Open(FormKind::Advanced); break;
            case kIdOpenBlockList: app_.Open(FormKind::BlockList); break;
            case kIdOpenStats: app_.Open(FormKind::Stats); break;
            case kIdOpenTest: app_.Open(FormKind::Test); break;
            case kIdOpenHelp: app_.ShowHelp(); break;
            case kIdOpenAbout: app_.Open(FormKind::About); break;
            default: break;
        }
    }

    HWND shown_ = reinterpret_cast<HWND>(-1);
    kx::LookOutcome lookShown_;
    bool lookRead_ = false;
};

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

// ------------------------------------------------------- advanced settings

class AdvancedForm : public Form {
public:
    explicit AdvancedForm(App& app)
        : Form(app, W(kx::contract::kAdvancedSettingsFormClass), W(kx::contract::kAdvancedSettingsFormGroup), 460, 266) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kAdvancedSettingsFormGroup)).c_str());
        SetCaption(kIdColorsLabel, L"ColorsLabel");
        const wchar_t* labels[kRows] = {L"BackgroundLabel", L"GridLabel", L"BarLabel", L"BusiestLabel"};
        for (int r = 0; r < kRows; ++r) {
            SetCaption(kIdColorLabel + r, labels[r]);
            SetCaption(kIdColorChoose + r, L"ChooseButton");
            SetCaption(kIdColorDefault + r, L"DefaultButton");
        }
        SetCaption(kIdSave, L"SaveButton");
        SetCaption(kIdClose, L"CloseButton");
    }

private:
    static constexpr int kRows = 4;
    static constexpr const char16_t* kNames[kRows] = {u"BackgroundColor", u"GridColor", u"BarColor",
                                                      u"BusiestColor"};

    void Build() override {
        Add(L"STATIC", kLabel, kIdColorsLabel, 12, 12, 436, 20);
        for (int r = 0; r < kRows; ++r) {
            const int y = 40 + r * 36;
            Add(L"STATIC", kLabel, kIdColorLabel + r, 12, y + 5, 110, 20);
            Add(L"STATIC", SS_NOTIFY | WS_BORDER, kIdColorSwatch + r, 126, y, 40, 26);
            Add(L"STATIC", kLabel | SS_NOPREFIX, kIdColorText + r, 174, y + 5, 100, 20);
            Add(L"BUTTON", kButton, kIdColorChoose + r, 278, y, 84, 28);
            Add(L"BUTTON", kButton, kIdColorDefault + r, 366, y, 82, 28);
        }
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdSave, 236, 194, 104, 30);
        Add(L"BUTTON", kButton, kIdClose, 344, 194, 104, 30);
        loaded_ = app_.Settings().Read();
        texts_ = {loaded_.backgroundColor, loaded_.gridColor, loaded_.barColor, loaded_.busiestColor};
        for (int r = 0; r < kRows; ++r) ShowColor(r);
    }

    // The colour a text stands for, as KestrixTray draws it.
    static COLORREF ColorOf(const Text& text) {
        const auto value = kx::ParseColorText(text);
        if (!value) return RGB(0, 0, 0);
        if (*value < 0) return GetSysColor(*value & 0xFF);
        return static_cast<COLORREF>(*value) & 0x00FFFFFFu;
    }

    Text DefaultColor(int r) {
        // The defaults KestrixTray uses when the value is missing.
        return kx::contract::ColorDefault(kNames[r], kx::GetWindowsVersionIndex(app_.Api().system) >= 5);
    }

    void ShowColor(int r) {
        brushes_[static_cast<std::size_t>(r)] =
            kx::win32::OwnGdi(app_.Gdi(), CreateSolidBrush(ColorOf(texts_[static_cast<std::size_t>(r)])));
        // A colour the organisation sets cannot be chosen here: its buttons
        // give way to the note that says so.
        const bool byPolicy = app_.Settings().SetByPolicy(kNames[r]);
        ShowWindow(Item(kIdColorChoose + r), byPolicy ? SW_HIDE : SW_SHOW);
        ShowWindow(Item(kIdColorDefault + r), byPolicy ? SW_HIDE : SW_SHOW);
        const int y = 40 + r * 36;
        Move(kIdColorText + r, 174, y + 5, byPolicy ? 274 : 100, 20);
        SetClientHeight(230);
        const std::wstring text = Wide(texts_[static_cast<std::size_t>(r)]);
        SetText(kIdColorText + r, byPolicy ? text + L" " + Message(L"PolicySet") : text);
        InvalidateRect(Item(kIdColorSwatch + r), nullptr, TRUE);
    }

    void Choose(int r) {
        static COLORREF custom[16] = {};
        CHOOSECOLORW choice = {};
        choice.lStructSize = sizeof(choice);
        choice.hwndOwner = Handle();
        choice.rgbResult = ColorOf(texts_[static_cast<std::size_t>(r)]);
        choice.lpCustColors = custom;
        choice.Flags = CC_RGBINIT | CC_FULLOPEN;
        if (!ChooseColorW(&choice)) return;
        texts_[static_cast<std::size_t>(r)] = kx::SettingsEditor::ColorRefToText(choice.rgbResult);
        ShowColor(r);
    }

    // Writes the colours the user changed; one left untouched stays as
    // stored, also a text that is no colour.
    void Save() {
        kx::SettingsSnapshot edited = loaded_;
        edited.backgroundColor = texts_[0];
        edited.gridColor = texts_[1];
        edited.barColor = texts_[2];
        edited.busiestColor = texts_[3];
        const kx::SaveReport report = app_.Settings().SaveChanges(loaded_, edited);
        if (!report.invalid.empty()) {
            ShowStatus(InvalidText(report.invalid), true);
        } else if (!report.refused.empty()) {
            ShowStatus(Message(L"WriteRefused"), true);
        } else {
            loaded_ = edited;
            ShowStatus(Message(L"Saved"));
        }
    }

    void OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return;
        if (id == kIdSave) Save();
        if (id >= kIdColorChoose && id < kIdColorChoose + kRows) Choose(id - kIdColorChoose);
        if (id >= kIdColorDefault && id < kIdColorDefault + kRows) {
            texts_[static_cast<std::size_t>(id - kIdColorDefault)] = DefaultColor(id - kIdColorDefault);
            ShowColor(id - kIdColorDefault);
        }
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CTLCOLORSTATIC) {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id >= kIdColorSwatch && id < kIdColorSwatch + kRows) {
                return static_cast<LRESULT>(brushes_[static_cast<std::size_t>(id - kIdColorSwatch)].get());
            }
        }
        return Form::OnMessage(message, wParam, lParam);
    }

    kx::SettingsSnapshot loaded_;
    std::array<Text, kRows> texts_;
    std::array<kx::win32::OwnedGdiObject, kRows> brushes_;
};

// ------------------------------------------------------------- statistics

class StatsForm : public Form {
public:
    explicit StatsForm(App& app)
        : Form(app, W(kx::contract::kStatsFormClass), W(kx::contract::kStatsFormGroup), 440, 270),
          store_(app.Api().system, app.Api().files, app.Api().clock),
          watch_(store_) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kStatsFormGroup)).c_str());
        const wchar_t* keys[] = {L"ProcessorsLabel",  L"LoadLabel",     L"AppLabel",    L"PriorityClassLabel",
                                 L"BuiltInRowsLabel", L"UserRowsLabel", L"UpdatedLabel"};
        for (int r = 0; r < 7; ++r) SetCaption(kIdStatLabel + r, keys[r]);
        SetCaption(kIdClose, L"CloseButton");
        Refresh();
    }

private:
    void Build() override {
        for (int r = 0; r < 7; ++r) {
            Add(L"STATIC", kLabel, kIdStatLabel + r, 12, 12 + r * 26, 200, 20);
            Add(L"STATIC", kLabel | SS_NOPREFIX | SS_ENDELLIPSIS, kIdStatValue + r, 216, 12 + r * 26, 212, 20);
        }
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdClose, 324, 200, 104, 30);
        GetSystemTimes(&idle_, &kernel_, &user_);
        SetTimer(Handle(), kRefreshTimer, 1000, nullptr);
    }

    static std::uint64_t Ticks(const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

    void OnTimer() override { Refresh(); }

    void Refresh() {
        SYSTEM_INFO info = {};
        GetNativeSystemInfo(&info);
        SetText(kIdStatValue + 0, std::to_wstring(info.dwNumberOfProcessors));

        FILETIME idle, kernel, user;
        if (GetSystemTimes(&idle, &kernel, &user)) {
            const std::uint64_t busyAll = (Ticks(kernel) - Ticks(kernel_)) + (Ticks(user) - Ticks(user_));
            const std::uint64_t idleAll = Ticks(idle) - Ticks(idle_);
            if (busyAll > 0 && busyAll >= idleAll) {
                SetText(kIdStatValue + 1, std::to_wstring((busyAll - idleAll) * 100 / busyAll) + L" %");
            }
            idle_ = idle;
            kernel_ = kernel;
            user_ = user;
        }

        HWND window = AcceleratedWindow(app_);
        SetText(kIdStatValue + 2, window != nullptr ? WindowText(window) : L"-");
        std::wstring priority = L"-";
        if (window != nullptr) {
            kx::Win32Api& api = app_.Api();
            std::uint32_t processId = 0;
            api.windows.GetWindowThreadProcessId(kx::win32::FromHwnd(window), &processId);
            const kx::OwnedHandle process(api.processes,
                                          api.processes.OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, false, processId));
            if (process) {
                const DWORD cls = api.processes.GetPriorityClass(process.get());
                const std::pair<DWORD, const wchar_t*> names[] = {
                    {IDLE_PRIORITY_CLASS, L"PriorityIdle"},   {BELOW_NORMAL_PRIORITY_CLASS, L"PriorityBelow"},
                    {NORMAL_PRIORITY_CLASS, L"PriorityNormal"}, {ABOVE_NORMAL_PRIORITY_CLASS, L"PriorityAbove"},
                    {HIGH_PRIORITY_CLASS, L"PriorityHigh"},   {REALTIME_PRIORITY_CLASS, L"PriorityRealtime"}};
                for (const auto& [value, key] : names) {
                    if (value == cls) priority = Plain(app_.Caption(W(kx::contract::kSettingsFormGroup), key));
                }
            }
        }
        SetText(kIdStatValue + 3, priority);

        // Read again only when the file changed: another account's list may be large.
        watch_.Refresh(app_.BlockListFile());
        const kx::LoadedBlockList& loaded = watch_.List();
        std::size_t inForce = 0;
        for (const kx::BlockRow& row : kx::DefaultBlockRows()) {
            if (!loaded.document.IsBuiltInRemoved(row.pattern)) ++inForce;
        }
        SetText(kIdStatValue + 4, std::to_wstring(inForce) + L" / " + std::to_wstring(kx::DefaultBlockRows().size()));
        SetText(kIdStatValue + 5, std::to_wstring(loaded.document.UserRows().size()));
        SetText(kIdStatValue + 6, UpdatedText());
    }

    // The stored moment in the user's format, read as KestrixTray reads it;
    // a text KestrixTray cannot read is shown as it stands.
    std::wstring UpdatedText() {
        const Text stored = app_.Settings().ReadUpdatedDate();
        if (stored.empty()) return Caption(L"Never");
        double moment = 0.0;
        try {
            moment = kx::UpdatedDateToDateTime(stored, app_.Api().clock);
        } catch (const kx::Failure&) {
            return Wide(stored);
        }
        SYSTEMTIME st = {};
        if (!VariantTimeToSystemTime(moment, &st)) return Wide(stored);
        wchar_t date[80] = {};
        wchar_t clock[80] = {};
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80);
        GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, clock, 80);
        return std::wstring(date) + L" " + clock;
    }

    void OnCommand(int, int) override {}

    FILETIME idle_{}, kernel_{}, user_{};
    kx::BlockListStore store_;
    kx::BlockListWatch watch_;
};

// ------------------------------------------------------------- self-check

class TestForm : public Form {
public:
    explicit TestForm(App& app) : Form(app, W(kx::contract::kTestFormClass), W(kx::contract::kTestFormGroup), 460, 230) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kTestFormGroup)).c_str());
        SetCaption(kIdCheckLabel + 0, L"TrayCheck");
        SetCaption(kIdCheckLabel + 1, L"KeyCheck");
        SetCaption(kIdCheckLabel + 2, L"FileCheck");
        SetCaption(kIdRunChecks, L"RunButton");
        SetCaption(kIdClose, L"CloseButton");
        RunChecks();
    }

private:
    void Build() override {
        for (int r = 0; r < 3; ++r) {
            Add(L"STATIC", kLabel, kIdCheckLabel + r, 12, 12 + r * 46, 436, 20);
            Add(L"STATIC", kLabel | SS_NOPREFIX, kIdCheckResult + r, 32, 32 + r * 46, 416, 20);
        }
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdRunChecks, 196, 158, 144, 30);
        Add(L"BUTTON", kButton, kIdClose, 344, 158, 104, 30);
    }

    void RunChecks() {
        SetText(kIdCheckResult + 0, Caption(app_.TrayRunning() ? L"Pass" : L"Fail"));
        const bool writable = app_.Settings().ProbeWrite() == kx::SettingWrite::Written;
        SetText(kIdCheckResult + 1, Caption(writable ? L"Pass" : L"Fail"));
        kx::BlockListStore store(app_.Api().system, app_.Api().files, app_.Api().clock);
        switch (store.Load(app_.BlockListFile()).state) {
            case kx::BlockFileState::Missing: SetText(kIdCheckResult + 2, Caption(L"NoFile")); break;
            case kx::BlockFileState::Read: SetText(kIdCheckResult + 2, Caption(L"Pass")); break;
            case kx::BlockFileState::Truncated:        // KestrixTray does not read it to its end
            case kx::BlockFileState::Utf8WithoutMark:  // KestrixTray misreads its non-ASCII text
            case kx::BlockFileState::Unreadable:
            case kx::BlockFileState::Busy: SetText(kIdCheckResult + 2, Caption(L"Fail")); break;
        }
    }

    void OnCommand(int id, int code) override {
        if (id == kIdRunChecks && code == BN_CLICKED) RunChecks();
    }
};

// ------------------------------------------------------------------ about

class AboutForm : public Form {
public:
    explicit AboutForm(App& app) : Form(app, W(kx::contract::kAboutFormClass), W(kx::contract::kAboutFormGroup), 380, 180) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kAboutFormGroup)).c_str());
        SetText(kIdProduct, L"Kestrix");
        SetText(kIdVersion, Caption(L"VersionLabel") + L" " + W(kx::contract::kProductVersion));
        SetCaption(kIdMaker, L"MakerLabel");
        SetCaption(kIdCheckUpdates, L"UpdateButton");
        SetCaption(kIdClose, L"CloseButton");
    }

private:
    void Build() override {
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdProduct, 12, 12, 356, 22);
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdVersion, 12, 38, 356, 20);
        Add(L"STATIC", kLabel | SS_NOPREFIX, kIdMaker, 12, 62, 356, 20);
        Add(L"BUTTON", kButton, kIdCheckUpdates, 12, 104, 236, 30);
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdClose, 264, 104, 104, 30);
    }

    void OnCommand(int id, int code) override {
        if (id == kIdCheckUpdates && code == BN_CLICKED) app_.StartUpdater();
    }
};

}  // namespace

std::unique_ptr<Form> MakeMainForm(App& app) { return std::make_unique<MainForm>(app); }
std::unique_ptr<Form> MakeSettingsForm(App& app) { return std::make_unique<SettingsForm>(app); }
std::unique_ptr<Form> MakeAdvancedForm(App& app) { return std::make_unique<AdvancedForm>(app); }
std::unique_ptr<Form> MakeStatsForm(App& app) { return std::make_unique<StatsForm>(app); }
std::unique_ptr<Form> MakeTestForm(App& app) { return std::make_unique<TestForm>(app); }
std::unique_ptr<Form> MakeAboutForm(App& app) { return std::make_unique<AboutForm>(app); }

}  // namespace kxapp
