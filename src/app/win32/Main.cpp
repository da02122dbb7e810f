// KestrixTray's entry: decides whether to run, creates the hidden tray form
// with its one-second timer and the icon widget's window, and runs the
// message loop until the tray form closes.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/RunOnce.h"
#include "app/TrayForm.h"
#include "config/Settings.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/MessageFilter.h"

namespace {

using kx::win32::FromHwnd;

constexpr wchar_t kIconWindowClass[] = L"TKXTrayIconWindow";
constexpr UINT kIconMessage = WM_APP + 1;
constexpr UINT_PTR kMainTimerId = 1;
constexpr UINT_PTR kLookTimerId = 2;

// The one reach of the window procedures into the form, set for the run.
kx::TKXTrayForm* g_form = nullptr;
// The shell's "TaskbarCreated" message: a new taskbar, perhaps of another scale.
UINT g_taskbarCreated = 0;

// Libraries are taken from the system folder only, for every load of the
// process (the DLLs the system loads on the program's behalf included), so a
// program started at every logon cannot be made to load a planted DLL.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    auto* setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories != nullptr && setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Without it (an old system lacking the update), at least the current folder leaves the search.
    ::SetDllDirectoryW(L"");
}

kx::Text FirstArgument() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr) return {};
    kx::Text first;
    if (count > 1) first = reinterpret_cast<const char16_t*>(arguments[1]);
    ::LocalFree(arguments);
    return first;
}

// A tick that ran long leaves at most the one timer message that fell due
// meanwhile; that one is dropped too, so a slow tick is never followed by a
// burst of ticks and no tick is made up.
void DropDueTicks(HWND window) {
    MSG message;
    while (::PeekMessageW(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
}

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
            case WM_TIMER:
                if (wParam == kMainTimerId && g_form != nullptr) {
                    g_form->MainTimerTimer();
                    DropDueTicks(window);
                } else if (wParam == kLookTimerId && g_form != nullptr) {
                    g_form->LookTimerFired();
                }
                return 0;
            case WM_CLOSE:
                // From the Exit command or from any other process: the form closes once and the program ends.
                if (g_form != nullptr) {
                    g_form->Close();
                } else {
                    ::DestroyWindow(window);
                }
                return 0;
            case WM_SETTINGCHANGE:
            case WM_DPICHANGED:
            case WM_DISPLAYCHANGE:
                // The scale of the taskbar's monitor may have changed: the
                // next picture is drawn at its new size.
                if (g_form != nullptr) g_form->DisplayChanged();
                break;
            case WM_ENDSESSION:
                // The session ends and the program with it: nothing raised is left behind.
                if (wParam != FALSE && g_form != nullptr) g_form->SessionEnding();
                return 0;
            case WM_DESTROY:
                ::KillTimer(window, kMainTimerId);
                ::PostQuitMessage(0);
                return 0;
            default:
                break;
        }
    } catch (...) {
        // Nothing may unwind through the system's frames.
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK IconWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (g_form != nullptr) {
            if (message == g_taskbarCreated && g_taskbarCreated != 0) g_form->DisplayChanged();
            std::intptr_t result = 0;
            if (g_form->Icon().HandleMessage(message, wParam, lParam, &result)) return result;
        }
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A window event of the immediate boost, from another process: the hooks
// cover only the events that tell a new foreground window (see
// ForegroundHookEvents), and the form does no more for one than compare the
// foreground window with the one it looked at last.
void CALLBACK ForegroundEventProc(HWINEVENTHOOK /*hook*/, DWORD /*event*/, HWND /*window*/, LONG /*object*/,
                                  LONG /*child*/, DWORD /*thread*/, DWORD /*time*/) {
    try {
        if (g_form != nullptr) g_form->ForegroundEvent();
    } catch (...) {
        // Nothing may unwind through the system's frames.
    }
}

// The hooks and the look timer of the immediate boost, installed and removed
// as the form's ticks find InstantBoost; whatever is left goes with this object.
class Win32ForegroundEvents : public kx::IForegroundEvents {
public:
    explicit Win32ForegroundEvents(HWND formWindow) : formWindow_(formWindow) {}
    ~Win32ForegroundEvents() override {
        UnhookAll();
        CancelLookTimer();
    }
    Win32ForegroundEvents(const Win32ForegroundEvents&) = delete;
    Win32ForegroundEvents& operator=(const Win32ForegroundEvents&) = delete;

    bool Hook(std::uint32_t firstEvent, std::uint32_t lastEvent) override {
        // Out of context: the callbacks come to this thread's message loop.
        const HWINEVENTHOOK hook = ::SetWinEventHook(firstEvent, lastEvent, nullptr, ForegroundEventProc, 0, 0,
                                                     WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
        if (hook == nullptr) return false;
        try {
            hooks_.push_back(hook);
        } catch (...) {
            ::UnhookWinEvent(hook);
            return false;
        }
        return true;
    }
    void UnhookAll() override {
        for (HWINEVENTHOOK hook : hooks_) ::UnhookWinEvent(hook);
        hooks_.clear();
    }
    void ArmLookTimer(std::uint32_t milliseconds) override {
        ::SetTimer(formWindow_, kLookTimerId, milliseconds, nullptr);
    }
    void CancelLookTimer() override { ::KillTimer(formWindow_, kLookTimerId); }

private:
    HWND formWindow_;
    std::vector<HWINEVENTHOOK> hooks_;
};

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0,
                                                        LR_DEFAULTSIZE | LR_SHARED));
    windowClass.lpszClassName = name;
    return ::RegisterClassExW(&windowClass) != 0;
}

// A hidden top-level window: no taskbar button (a tool window that is never
// shown) and no parent or owner, so that it receives the shell's broadcasts.
HWND CreateHiddenWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title) {
    return ::CreateWindowExW(WS_EX_TOOLWINDOW, className, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                             nullptr);
}

class OwnedWindow {
public:
    explicit OwnedWindow(HWND window) : window_(window) {}
    ~OwnedWindow() {
        if (window_ != nullptr && ::IsWindow(window_)) ::DestroyWindow(window_);
    }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

int Run(HINSTANCE instance) {
    kx::Win32Api win32;
    kx::Platform api = win32.api();

    const kx::SettingsStore settings(api.registry);
    if (kx::DecideEntry(FirstArgument(), settings, api.windows) != kx::EntryDecision::Run) return 0;

    if (!RegisterWindowClass(instance, reinterpret_cast<const wchar_t*>(kx::kTrayFormClass), FormWindowProc) ||
        !RegisterWindowClass(instance, kIconWindowClass, IconWindowProc)) {
        return 1;
    }
    // Apartment-threaded for the whole run, left after the windows are gone.
    const kx::win32::ComApartment apartment(api.trace);
    // The icon's window goes last: the form (and with it the icon's removal) is gone before it.
    OwnedWindow iconWindow(CreateHiddenWindow(instance, kIconWindowClass, L""));
    OwnedWindow formWindow(
        CreateHiddenWindow(instance, reinterpret_cast<const wchar_t*>(kx::kTrayFormClass), L"Kestrix"));
    if (formWindow.get() == nullptr || iconWindow.get() == nullptr) return 1;
    // A copy started elevated some other way still gets its icon back when
    // the shell restarts, and still closes on Exit or an uninstallation.
    g_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    kx::win32::AllowMessagesFromOrdinaryPrograms(formWindow.get(), {WM_CLOSE});
    kx::win32::AllowMessagesFromOrdinaryPrograms(iconWindow.get(), {g_taskbarCreated});

    {
        // Outlives the form, whose watch removes the hooks it installed.
        Win32ForegroundEvents foregroundEvents(formWindow.get());
        kx::TKXTrayForm form(api, FromHwnd(formWindow.get()), FromHwnd(iconWindow.get()), kIconMessage,
                             &foregroundEvents);
        HWND window = formWindow.get();
        form.onClosed = [window] { ::DestroyWindow(window); };
        g_form = &form;
        form.FormCreate();
        if (!form.Caption().empty()) ::SetWindowTextW(window, kx::win32::Wide(form.Caption()));
        ::SetTimer(window, kMainTimerId, kx::kMainTimerIntervalMs, nullptr);

        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        // The form closes here whatever ended the loop; its icon leaves the notification area.
        form.Close();
        g_form = nullptr;
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    RestrictDllSearch();
    try {
        return Run(instance);
    } catch (...) {
        return 1;
    }
}
