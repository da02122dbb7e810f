#include "app/RunOnce.h"

#include "config/TextRules.h"

namespace kx {

bool FindProgramWindow(IWindows& windows, const Text& className, bool restore) {
    try {
        const Hwnd window = windows.FindWindowW(&className, nullptr);
        if (window == 0) return false;
        if (restore) {
            windows.ShowWindow(window, w32::kSwRestore);
            windows.SetForegroundWindow(window);
        }
        return true;
    } catch (...) {
        return false;
    }
}

EntryDecision DecideEntry(const Text& firstArgument, const SettingsStore& settings, IWindows& windows) {
    if (AsciiLower(firstArgument) == u"/start" && !settings.RegReadBool(u"LoadKestrix", true)) {
        return EntryDecision::NotWanted;
    }
    if (FindProgramWindow(windows, kTrayFormClass, false)) return EntryDecision::AlreadyRunning;
    return EntryDecision::Run;
}

}  // namespace kx
