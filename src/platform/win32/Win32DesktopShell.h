// Starting a program as the signed-in user from an elevated process: through
// the desktop shell's own ShellExecute, so that the program runs with the
// shell's token (not the caller's) and has the shell as its parent.
#pragma once

#include <string>

namespace kx::win32 {

enum class ShellStart {
    Started,
    NoDesktop,  // no interactive window station, or no desktop shell on it: nothing was started
    Failed,     // the desktop shell was there and did not start it
};

// program is a full path; it starts in its own folder.
ShellStart StartThroughDesktopShell(const std::wstring& program);

// Whether this process runs with an elevated (full administrator) token;
// true when that cannot be found out.
bool ProcessIsElevated();

}  // namespace kx::win32
