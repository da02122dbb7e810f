// The advanced settings window: the graph's colours.
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

}  // namespace

std::unique_ptr<Form> MakeAdvancedForm(App& app) { return std::make_unique<AdvancedForm>(app); }

}  // namespace kxapp
