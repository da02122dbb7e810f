// Kestrix.exe, the main program: the user's place to change KestrixTray's
// settings and block list. One instance; a second start brings the first
// forward. It starts KestrixTray when that is not running.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "AppCore.h"

namespace {

// A first argument opens one window besides the main one ("/settings", ...).
kxapp::FormKind ExtraWindow(const wchar_t* argument, bool* wanted) {
    struct Name {
        const wchar_t* text;
        kxapp::FormKind kind;
    };
    const Name names[] = {{L"/settings", kxapp::FormKind::Settings}, {L"/advanced", kxapp::FormKind::Advanced},
                          {L"/blocklist", kxapp::FormKind::BlockList}, {L"/stats", kxapp::FormKind::Stats},
                          {L"/test", kxapp::FormKind::Test},           {L"/about", kxapp::FormKind::About}};
    for (const Name& name : names) {
        if (argument != nullptr && _wcsicmp(argument, name.text) == 0) {
            *wanted = true;
            return name.kind;
        }
    }
    *wanted = false;
    return kxapp::FormKind::Main;
}

bool BringRunningForward() {
    // The other instance may still be creating its window.
    for (int i = 0; i < 40; ++i) {
        if (HWND window = FindWindowW(kxapp::W(kx::contract::kMainFormClass), nullptr)) {
            if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
            return true;
        }
        Sleep(50);
    }
    return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Held for the whole run and closed on every path, as every handle of the seam.
    kx::Win32Processes processes;
    const kx::OwnedHandle single(
        processes, kx::win32::ToKHandle(CreateMutexW(nullptr, FALSE, L"Local\\VELMOR.Kestrix.MainProgram")));
    if (single && GetLastError() == ERROR_ALREADY_EXISTS) {
        BringRunningForward();
        return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!kxapp::Form::RegisterClasses(instance)) return 1;

    int exitCode = 0;
    {
        kxapp::App app(instance);
        app.StartTray();
        if (app.Open(kxapp::FormKind::Main) == nullptr) return 1;
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
        if (arguments != nullptr) {
            bool wanted = false;
            const kxapp::FormKind extra = ExtraWindow(count > 1 ? arguments[1] : nullptr, &wanted);
            if (wanted) app.Open(extra);
            LocalFree(arguments);
        }

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            HWND root = GetAncestor(message.hwnd, GA_ROOT);
            // Tab, the arrow keys, Enter and Esc move and press as in a dialog.
            if (root != nullptr && app.IsOurWindow(root) && IsDialogMessageW(root, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }
    return exitCode;
}
