// The main program's frame: the shared state of the run (platform, settings,
// texts, the open windows) and the base of its windows, which lay their
// controls out in 96-dpi units and scale them to the DPI of their monitor.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "companion/BlockProposal.h"
#include "companion/CaptionBook.h"
#include "companion/SettingsEditor.h"
#include "engine/Foreground.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Gdi.h"

namespace kxapp {

using kx::Text;

enum class FormKind { Main, Settings, Advanced, BlockList, Stats, Test, About };

inline const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline Text T(const std::wstring& text) { return Text(text.begin(), text.end()); }
std::wstring WindowText(HWND window);

class Form;

class App {
public:
    explicit App(HINSTANCE instance);
    ~App();

    HINSTANCE Instance() const { return instance_; }
    kx::Win32Api& Api() { return api_; }
    kx::InspectionApi Inspection() { return {api_.windows, api_.processes, api_.system, api_.libraries}; }
    kx::win32::GdiObjects& Gdi() { return gdi_; }
    kx::SettingsEditor& Settings() { return settings_; }
    // The text of a row of the caption tables, in the current language.
    std::wstring Caption(const wchar_t* form, const wchar_t* key) const;
    // After a change of Language: every open window takes the new texts.
    void ReloadCaptions();
    // The folder of the running program, with a trailing backslash.
    const Text& ProgramFolder() const { return programFolder_; }
    Text BlockListFile();

    // Opens the window of that kind, or brings it forward when it is open.
    Form* Open(FormKind kind);
    Form* Find(FormKind kind) const;
    void Forget(Form* form);
    bool IsOurWindow(HWND window) const;

    // Starts KestrixTray from the program folder unless its window exists.
    bool StartTray();
    bool TrayRunning() const;
    void ShowHelp();
    void StartUpdater();

private:
    HINSTANCE instance_;
    kx::Win32Api api_;
    kx::SettingsEditor settings_;
    std::unique_ptr<kx::CaptionBook> book_;
    Text programFolder_;
    std::map<FormKind, std::unique_ptr<Form>> forms_;
    kx::win32::GdiObjects gdi_;
    // The help viewer stays loaded while the program runs: its window lives in our process.
    kx::OwnedLibrary helpLibrary_;
};

class Form {
public:
    Form(App& app, const wchar_t* className, const wchar_t* tableName, int width, int height);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    bool Create();
    HWND Handle() const { return window_; }
    // Sets the texts of the window and its controls from the caption table.
    virtual void ApplyTexts() = 0;
    void ClearStatus() { ShowStatus(L""); }
    static bool RegisterClasses(HINSTANCE instance);

protected:
    // A control placed in 96-dpi units of the client area.
    HWND Add(const wchar_t* windowClass, DWORD style, int id, int x, int y, int width, int height, DWORD exStyle = 0);
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void SetText(int id, const std::wstring& text) { SetWindowTextW(Item(id), text.c_str()); }
    void SetCaption(int id, const wchar_t* key) { SetText(id, Caption(key)); }
    std::wstring Caption(const wchar_t* key) const { return app_.Caption(tableName_, key); }
    std::wstring Message(const wchar_t* key) const { return app_.Caption(W(kx::contract::kMessagesGroup), key); }
    int Scale(int value) const { return MulDiv(value, dpi_, 96); }
    // Moves a control to a new box in 96-dpi units (applied by SetClientHeight).
    void Move(int id, int x, int y, int width, int height);
    // The client area's height in 96-dpi units; the status line keeps to its
    // foot, and every control takes its box.
    void SetClientHeight(int height);
    // The height, in 96-dpi units, of text wrapped to width in the window's font.
    int TextHeight(const std::wstring& text, int width) const;
    void ShowStatus(const std::wstring& text, bool problem = false);

    virtual void Build() = 0;
    virtual void OnCommand(int id, int code) = 0;
    virtual LRESULT OnNotify(NMHDR* header);
    virtual void OnTimer() {}
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    App& app_;

private:
    struct Placed {
        int id;
        RECT box;  // 96-dpi units
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void UseDpi(int dpi);
    void LayOut();
    // The main window in the middle of the work area; the others a little
    // below and right of the main window, so that none hides another whole.
    void Place();

    const wchar_t* className_;
    const wchar_t* tableName_;
    int width_;
    int height_;
    HWND window_ = nullptr;
    int dpi_ = 96;
    kx::win32::OwnedGdiObject font_;
    std::vector<Placed> placed_;
    bool statusProblem_ = false;
};

// The windows of the program.
std::unique_ptr<Form> MakeMainForm(App& app);
std::unique_ptr<Form> MakeSettingsForm(App& app);
std::unique_ptr<Form> MakeAdvancedForm(App& app);
std::unique_ptr<Form> MakeBlockListForm(App& app);
std::unique_ptr<Form> MakeStatsForm(App& app);
std::unique_ptr<Form> MakeTestForm(App& app);
std::unique_ptr<Form> MakeAboutForm(App& app);

// The block-list window opened with a row proposed for the given window.
void ProposeWindow(App& app, HWND window);

// The window KestrixTray accelerates now (its Handle value), or null.
HWND AcceleratedWindow(App& app);
// The full path of the executable of the window's process; empty when unknown.
std::wstring WindowProgramPath(App& app, HWND window);
// The block-list row proposed for a window, from KestrixTray's snapshot of it.
kx::ProposedRow ProposeRow(App& app, HWND window, kx::ProposedKind kind);

}  // namespace kxapp
