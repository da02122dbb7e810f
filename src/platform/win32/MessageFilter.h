// Lets messages from ordinary programs through to a window of a process that
// runs elevated (User Interface Privilege Isolation drops them otherwise):
// the shell's "TaskbarCreated" for the tray's icon, WM_CLOSE for Exit.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace kx::win32 {

// ChangeWindowMessageFilterEx (Windows 7 and later), looked up by name in
// user32, for each message. Does nothing where the call does not exist.
void AllowMessagesFromOrdinaryPrograms(HWND window, std::initializer_list<UINT> messages);

}  // namespace kx::win32
