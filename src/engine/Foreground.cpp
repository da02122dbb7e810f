#include "engine/Foreground.h"

#include <algorithm>
#include <array>

#include "config/TextRules.h"
#include "config/WindowsVersion.h"

namespace kx {

namespace {

// The text of a zero-terminated buffer, up to its first zero (or its end).
template <std::size_t N>
Text UpToZero(const std::array<char16_t, N>& buffer) {
    const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
    return Text(buffer.begin(), end);
}

// Window captions and class names: a 256-character buffer, cleared, offered
// with a limit of 255 including the terminating zero, so at most 254 characters.
constexpr int kNameLimit = 255;

Text WindowCaption(IWindows& windows, Hwnd window) {
    std::array<char16_t, 256> buffer{};
    windows.GetWindowTextW(window, buffer.data(), kNameLimit);
    buffer[kNameLimit - 1] = 0;
    return UpToZero(buffer);
}

Text WindowClassName(IWindows& windows, Hwnd window) {
    std::array<char16_t, 256> buffer{};
    windows.GetClassNameW(window, buffer.data(), kNameLimit);
    buffer[kNameLimit - 1] = 0;
    return UpToZero(buffer);
}

// Rights to ask for when opening another process: the limited right from
// Vista on, which ordinary users get even for most elevated programs.
std::uint32_t ProcessQueryRights(int versionIndex) {
    if (versionIndex >= 3) return w32::kProcessQueryLimitedInformation;
    if (versionIndex <= 0) return w32::kProcessQueryInformation | w32::kProcessVmRead;
    return w32::kProcessQueryInformation;
}

constexpr std::uint32_t kPathBuffer = 260;

}  // namespace

Text DevicePathToDrivePath(ISystemInfo& system, const Text& path) {
    try {
        constexpr std::uint32_t kDriveListLength = 258;
        std::array<char16_t, kDriveListLength + 1> list{};
        const std::uint32_t listLength = system.GetLogicalDriveStringsW(kDriveListLength, list.data());
        // Without the drive list the device path is the best that can be had;
        // its file name still lets the path rows of the block list match.
        if (listLength == 0 || listLength > kDriveListLength) return path;

        const Text upperPath = AsciiUpper(path);
        std::size_t entry = 0;
        while (entry < listLength && list[entry] != 0) {
            std::size_t entryEnd = entry;
            while (entryEnd < listLength && list[entryEnd] != 0) ++entryEnd;
            const Text root(list.begin() + static_cast<std::ptrdiff_t>(entry),
                            list.begin() + static_cast<std::ptrdiff_t>(entryEnd));
            entry = entryEnd + 1;

            Text drive = root;
            if (!drive.empty() && drive.back() == u'\\') drive.pop_back();
            std::array<char16_t, kPathBuffer> device{};
            if (system.QueryDosDeviceW(drive, device.data(), kPathBuffer) == 0) continue;
            device[kPathBuffer - 1] = 0;
            Text deviceName = UpToZero(device);
            if (deviceName.empty()) continue;
            // The trailing backslash keeps "\Device\HarddiskVolume1" from
            // matching inside a path on "\Device\HarddiskVolume10".
            deviceName.push_back(u'\\');
            const std::size_t at = upperPath.find(AsciiUpper(deviceName));
            if (at != Text::npos) {
                Text converted = path;
                converted.replace(at, deviceName.size(), root);
                return converted;
            }
        }
        return path;
    } catch (...) {
        return path;
    }
}

Text GetWindowProcessPath(const InspectionApi& api, Hwnd window) {
    try {
        std::uint32_t processId = 0;
        api.windows.GetWindowThreadProcessId(window, &processId);
        if (processId == 0) return {};

        const int versionIndex = GetWindowsVersionIndex(api.system);
        OwnedHandle process(api.processes, api.processes.OpenProcess(ProcessQueryRights(versionIndex), false, processId));
        if (!process) return {};

        std::array<char16_t, kPathBuffer> buffer{};
        if (versionIndex <= 0) {
            if (api.processes.GetModuleFileNameExW(process.get(), buffer.data(), kPathBuffer) == 0) return {};
            buffer[kPathBuffer - 1] = 0;
            return UpToZero(buffer);
        }
        // GetProcessImageFileNameW is missing from the oldest systems, so it
        // is looked up by name at each call.
        std::uint32_t copied = 0;
        {
            OwnedLibrary psapi(api.libraries, api.libraries.LoadLibraryW(u"Psapi.dll"));
            if (!psapi) return {};
            const ProcAddress entry = api.libraries.GetProcAddress(psapi.get(), "GetProcessImageFileNameW");
            if (entry == 0) return {};
            copied = api.processes.CallGetProcessImageFileNameW(entry, process.get(), buffer.data(), kPathBuffer);
        }
        if (copied == 0) return {};
        buffer[kPathBuffer - 1] = 0;
        return DevicePathToDrivePath(api.system, UpToZero(buffer));
    } catch (...) {
        return {};
    }
}

ForegroundSnapshot TakeForegroundSnapshot(const InspectionApi& api, Hwnd window) {
    ForegroundSnapshot snapshot;
    snapshot.classKey = u"#";
    try {
        snapshot.caption = Trim(WindowCaption(api.windows, window));
        snapshot.classKey = u"#" + Trim(WindowClassName(api.windows, window));
        snapshot.imagePath = Trim(GetWindowProcessPath(api, window));
    } catch (...) {
        // What was read before the failure stays; the rest is empty.
    }
    return snapshot;
}

}  // namespace kx
