#include "app/Shell.h"

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
        shell_.ShellExecuteW(owner, &verb, file, &parameters, nullptr, w32::kSwShow);
    } catch (...) {
        // A launch that cannot be made is not reported.
    }
}

void Shell::ShellOpen(const Text& file, const Text& parameters) { Execute(applicationWindow_, file, parameters); }

void Shell::ShellOpenDetached(const Text& file, const Text& parameters) { Execute(0, file, parameters); }

void Shell::ShowHelpTopic(const Text& helpFile, const Text& topic) {
    try {
        if (!htmlHelp_) htmlHelp_ = OwnedLibrary(libraries_, libraries_.LoadLibraryW(u"hhctrl.ocx"));
        if (!htmlHelp_) return;
        const ProcAddress entry = libraries_.GetProcAddress(htmlHelp_.get(), "HtmlHelpW");
        if (entry == 0) return;
        const Text target = ProgramFolder() + helpFile + u"::" + topic + u">HelpWindow";
        shell_.CallHtmlHelpW(entry, windows_.GetDesktopWindow(), target, w32::kHhDisplayTopic, 0);
    } catch (...) {
        // Help that cannot be shown shows nothing.
    }
}

}  // namespace kx
