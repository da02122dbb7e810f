// The main window, the statistics, the self-check and the about window.
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
std::unique_ptr<Form> MakeStatsForm(App& app) { return std::make_unique<StatsForm>(app); }
std::unique_ptr<Form> MakeTestForm(App& app) { return std::make_unique<TestForm>(app); }
std::unique_ptr<Form> MakeAboutForm(App& app) { return std::make_unique<AboutForm>(app); }

}  // namespace kxapp
