// The single-instance probe and the program entry's decision whether to run.
#pragma once

#include "config/Contract.h"
#include "config/Settings.h"
#include "platform/WindowApi.h"
#include "platform/Types.h"

namespace kx {

// The class of the tray form's window (the contract's); a second instance finds it and ends.
inline constexpr const char16_t* kTrayFormClass = contract::kTrayWindowClass;

// True when a top-level window of that class exists. With restore it also
// restores the window and brings it to the foreground. Any failure gives false.
bool FindProgramWindow(IWindows& windows, const Text& className, bool restore);

enum class EntryDecision {
    Run,             // create the tray form and run the message loop
    NotWanted,       // an automatic start ("/start") while LoadKestrix is off
    AlreadyRunning,  // another instance's tray form exists; it is left alone
};

// firstArgument: the first command-line argument, empty when there is none.
EntryDecision DecideEntry(const Text& firstArgument, const SettingsStore& settings, IWindows& windows);

}  // namespace kx
