#include "app/Shell.h"

#include "config/Contract.h"

namespace kx {

Text FolderOfPath(const Text& path) {
    const auto slash = path.rfind(u'\\');
    return slash == Text::npos ? Text{} : path.substr(0, slash + 1);
}

Text Shell::ProgramFolder() const {
    try {
        return FolderOfPath(processes_.GetOwnModuleFileName());
    } catch (...) {
        return {};
    }
}

void Shell::Execute(Hwnd owner, const Text& file, const Text& parameters) {
    try {
        const Text verb = u"open";
        // ShellExecuteW reports success with a value above 32.
        if (shell_.ShellExecuteW(owner, &verb, file, &parameters, nullptr, w32::kSwShow) <= 32) {
            Trace("ShellExecuteW could not start a companion program");
        }
    } catch (...) {
        // A launch that cannot be made is not reported to the user.
        Trace("starting a companion program failed");
    }
}

void Shell::ShellOpen(const Text& file, const Text& parameters) { Execute(applicationWindow_, file, parameters); }

void Shell::ShellOpenDetached(const Text& file, const Text& parameters) { Execute(0, file, parameters); }

void Shell::ShowHelpTopic(const Text& helpFile, const Text& topic) {
    try {
        if (!htmlHelp_) htmlHelp_ = OwnedLibrary(libraries_, libraries_.LoadLibraryW(u"hhctrl.ocx"));
        if (!htmlHelp_) {
            Trace("hhctrl.ocx could not be loaded");
            return;
        }
        const ProcAddress entry = libraries_.GetProcAddress(htmlHelp_.get(), "HtmlHelpW");
        if (entry == 0) {
            Trace("hhctrl.ocx has no HtmlHelpW");
            return;
        }
        const Text target = ProgramFolder() + helpFile + u"::" + topic + u">" + contract::kHelpWindowType;
        shell_.CallHtmlHelpW(entry, windows_.GetDesktopWindow(), target, w32::kHhDisplayTopic, 0);
    } catch (...) {
        // Help that cannot be shown shows nothing.
        Trace("showing the help topic failed");
    }
}

}  // namespace kx
