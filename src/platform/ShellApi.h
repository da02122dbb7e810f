// shell32, ole32 and hhctrl.ocx, as the program calls them.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kx {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// NOTIFYICONDATAW, the fields the program fills.
struct NotifyIconData {
    Hwnd hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    KHandle hIcon = 0;
    Text szTip;         // at most 127 characters
    Text szInfo;        // at most 255 characters
    Text szInfoTitle;   // at most 63 characters
    std::uint32_t uTimeout = 0;
    std::uint32_t dwInfoFlags = 0;
};

namespace w32 {
constexpr std::uint32_t kNimAdd = 0;
constexpr std::uint32_t kNimModify = 1;
constexpr std::uint32_t kNimDelete = 2;
constexpr std::uint32_t kNifMessage = 1;
constexpr std::uint32_t kNifIcon = 2;
constexpr std::uint32_t kNifTip = 4;
constexpr std::uint32_t kNifInfo = 0x10;
constexpr std::uint32_t kNiifInfo = 1;
constexpr int kCsidlCommonAppdata = 35;
constexpr std::uint32_t kHhDisplayTopic = 0;
}  // namespace w32

constexpr Guid kFolderIdProgramData = {0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

class IShell {
public:
    virtual ~IShell() = default;
    // Null pointers stand for "not given". Returns the platform's instance value.
    virtual std::intptr_t ShellExecuteW(Hwnd owner, const Text* verb, const Text& file, const Text* parameters,
                                        const Text* directory, int showCommand) = 0;
    virtual bool Shell_NotifyIconW(std::uint32_t message, const NotifyIconData& data) = 0;
    // *path receives memory that the caller releases with CoTaskMemFree, also on failure.
    virtual long SHGetKnownFolderPath(const Guid& folderId, std::uint32_t flags, KHandle token, char16_t** path) = 0;
    virtual void CoTaskMemFree(void* memory) = 0;
    // buffer holds 261 characters.
    virtual long SHGetFolderPathW(Hwnd owner, int csidl, KHandle token, std::uint32_t flags, char16_t* buffer) = 0;
    // HtmlHelpW found by GetProcAddress in "hhctrl.ocx".
    virtual Hwnd CallHtmlHelpW(ProcAddress entry, Hwnd caller, const Text& file, std::uint32_t command,
                               std::uintptr_t data) = 0;
};

}  // namespace kx
