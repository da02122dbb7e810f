// The launch operations of the tray menu: opening a file with or without the
// application window as owner, and showing a topic of the help file.
#pragma once

#include "platform/DebugApi.h"
#include "platform/LibraryApi.h"
#include "platform/ProcessApi.h"
#include "platform/ShellApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

// The folder of the given executable path, up to and including its last backslash.
Text FolderOfPath(const Text& path);

class Shell {
public:
    // trace: where a launch or help request that fails leaves its line.
    Shell(IShell& shell, IWindows& windows, ILibraries& libraries, IProcesses& processes, Hwnd applicationWindow,
          DebugTrace* trace = nullptr)
        : shell_(shell), windows_(windows), libraries_(libraries), processes_(processes),
          applicationWindow_(applicationWindow), trace_(trace) {}

    // The folder of the program's own executable, with its trailing backslash;
    // the companion programs and the help file are found there.
    Text ProgramFolder() const;

    // None of these reports or raises anything: a file that is missing or
    // cannot be started leaves a line on the debug output and nothing else.
    void ShellOpen(const Text& file, const Text& parameters);          // owner: the application window
    void ShellOpenDetached(const Text& file, const Text& parameters);  // no owner window
    // Asks the help viewer for ProgramFolder + helpFile + "::" + topic +
    // ">HelpWindow". The HTML Help library is loaded at the first use and kept
    // for the run; without it nothing happens (and the next use tries again).
    void ShowHelpTopic(const Text& helpFile, const Text& topic);

private:
    void Execute(Hwnd owner, const Text& file, const Text& parameters);
    IShell& shell_;
    IWindows& windows_;
    ILibraries& libraries_;
    IProcesses& processes_;
    Hwnd applicationWindow_;
    DebugTrace* trace_ = nullptr;
    void Trace(const char* what) const {
        if (trace_ != nullptr) trace_->Line("shell", what);
    }
    OwnedLibrary htmlHelp_;
};

}  // namespace kx
