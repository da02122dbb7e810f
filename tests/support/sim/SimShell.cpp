#include "sim/SimShell.h"

#include <algorithm>
#include <cstring>

#include "sim/SimLibraries.h"

namespace kx::sim {

std::intptr_t SimShell::ShellExecuteW(Hwnd owner, const Text* verb, const Text& file, const Text* parameters,
                                      const Text* directory, int showCommand) {
    world_.shellExecuteCalls.push_back(ShellExecuteCall{owner, verb != nullptr, verb ? *verb : Text{}, file,
                                                        parameters != nullptr, parameters ? *parameters : Text{},
                                                        directory != nullptr, showCommand});
    return 42;
}

bool SimShell::Shell_NotifyIconW(std::uint32_t message, const NotifyIconData& data) {
    const auto key = std::make_pair(data.hWnd, data.uID);
    bool accepted = false;
    switch (message) {
        case w32::kNimAdd:
            accepted = !world_.shellRefusesAdd && world_.notifyIcons.count(key) == 0;
            if (accepted) world_.notifyIcons[key] = data;
            break;
        case w32::kNimModify:
            accepted = world_.notifyIcons.count(key) != 0;
            if (accepted) world_.notifyIcons[key] = data;
            break;
        case w32::kNimDelete:
            accepted = !world_.shellRefusesDelete && world_.notifyIcons.erase(key) != 0;
            break;
        default:
            break;
    }
    world_.notifyCalls.push_back(NotifyCall{message, data, accepted});
    return accepted;
}

long SimShell::SHGetKnownFolderPath(const Guid& folderId, std::uint32_t /*flags*/, KHandle /*token*/,
                                    char16_t** path) {
    if (path == nullptr) return static_cast<long>(0x80070057L);
    *path = nullptr;
    if (std::memcmp(&folderId, &kFolderIdProgramData, sizeof(Guid)) != 0) return static_cast<long>(0x80070002L);
    if (world_.knownFolderReturnsNull) return world_.knownFolderResult;
    auto* memory = new char16_t[world_.knownFolderPath.size() + 1];
    std::copy(world_.knownFolderPath.begin(), world_.knownFolderPath.end(), memory);
    memory[world_.knownFolderPath.size()] = 0;
    ++world_.coTaskMemOutstanding;
    *path = memory;
    return world_.knownFolderResult;
}

void SimShell::CoTaskMemFree(void* memory) {
    if (memory == nullptr) return;
    --world_.coTaskMemOutstanding;
    delete[] static_cast<char16_t*>(memory);
}

long SimShell::SHGetFolderPathW(Hwnd /*owner*/, int csidl, KHandle /*token*/, std::uint32_t /*flags*/,
                                char16_t* buffer) {
    if (buffer == nullptr || csidl != w32::kCsidlCommonAppdata) return static_cast<long>(0x80070057L);
    if (world_.folderPathResult != 0) return world_.folderPathResult;
    const std::size_t n = std::min<std::size_t>(world_.folderPath.size(), 260);
    std::copy(world_.folderPath.begin(), world_.folderPath.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    buffer[n] = 0;
    return 0;
}

Hwnd SimShell::CallHtmlHelpW(ProcAddress entry, Hwnd caller, const Text& file, std::uint32_t command,
                             std::uintptr_t data) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"HHCTRL.OCX", "HtmlHelpW")) return 0;
    world_.htmlHelpCalls.push_back(HtmlHelpCall{caller, file, command, data});
    return 0x5150;
}

}  // namespace kx::sim
