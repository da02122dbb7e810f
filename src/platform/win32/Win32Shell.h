// shell32, ole32 and hhctrl.ocx for the program: launching files, the
// notification area, the known folders and the help viewer.
#pragma once

#include "platform/ShellApi.h"

namespace kx {

class Win32Shell : public IShell {
public:
    std::intptr_t ShellExecuteW(Hwnd owner, const Text* verb, const Text& file, const Text* parameters,
                                const Text* directory, int showCommand) override;
    bool Shell_NotifyIconW(std::uint32_t message, const NotifyIconData& data) override;
    long SHGetKnownFolderPath(const Guid& folderId, std::uint32_t flags, KHandle token, char16_t** path) override;
    void CoTaskMemFree(void* memory) override;
    long SHGetFolderPathW(Hwnd owner, int csidl, KHandle token, std::uint32_t flags, char16_t* buffer) override;
    Hwnd CallHtmlHelpW(ProcAddress entry, Hwnd caller, const Text& file, std::uint32_t command,
                       std::uintptr_t data) override;
};

}  // namespace kx
