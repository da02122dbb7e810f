#include "engine/Foreground.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

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
// The longest path Windows knows, with its terminating zero.
constexpr std::uint32_t kLongPathBuffer = 32768;

// Asks query for a path, first into a buffer of kPathBuffer characters and,
// when the answer may not have fitted (nothing, or a full buffer), once more
// into one of kLongPathBuffer: a program installed deep below its folder
// must still match the block list's path rows.
template <typename Query>
Text QueryPath(Query query) {
    for (const std::uint32_t size : {kPathBuffer, kLongPathBuffer}) {
        std::vector<char16_t> buffer(size, u'\0');
        const std::uint32_t copied = query(buffer.data(), size);
        if (copied == 0 || (copied >= size - 1 && size != kLongPathBuffer)) continue;
        buffer[size - 1] = 0;
        return Text(buffer.data(), static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), u'\0') - buffer.begin()));
    }
    return {};
}

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

Text ProcessImagePath(const InspectionApi& api, KHandle process, int versionIndex) {
    if (versionIndex <= 0) {
        return QueryPath([&](char16_t* buffer, std::uint32_t size) {
            return api.processes.GetModuleFileNameExW(process, buffer, size);
        });
    }
    // GetProcessImageFileNameW is missing from the oldest systems, so it
    // is looked up by name at each call.
    Text devicePath;
    {
        OwnedLibrary psapi(api.libraries, api.libraries.LoadLibraryW(u"Psapi.dll"));
        if (!psapi) return {};
        const ProcAddress entry = api.libraries.GetProcAddress(psapi.get(), "GetProcessImageFileNameW");
        if (entry == 0) return {};
        devicePath = QueryPath([&](char16_t* buffer, std::uint32_t size) {
            return api.processes.CallGetProcessImageFileNameW(entry, process, buffer, size);
        });
    }
    return devicePath.empty() ? Text{} : DevicePathToDrivePath(api.system, devicePath);
}

Text GetWindowProcessPath(const InspectionApi& api, Hwnd window) {
    const auto trace = [&api](const std::string& what) {
        if (api.trace != nullptr) api.trace->Line("foreground", what);
    };
    try {
        std::uint32_t processId = 0;
        api.windows.GetWindowThreadProcessId(window, &processId);
        if (processId == 0) return {};

        const int versionIndex = GetWindowsVersionIndex(api.system);
        OwnedHandle process(api.processes, api.processes.OpenProcess(ProcessQueryRights(versionIndex), false, processId));
        if (!process) {
            trace("process " + std::to_string(processId) + " cannot be opened: its path rows cannot match");
            return {};
        }

        const Text path = ProcessImagePath(api, process.get(), versionIndex);
        if (path.empty()) trace("the image path of process " + std::to_string(processId) + " cannot be read");
        return path;
    } catch (...) {
        trace("the image path could not be read");
        return {};
    }
}

ForegroundSnapshot TakeForegroundSnapshot(const InspectionApi& api, Hwnd window, ImagePathMemo* memo) {
    ForegroundSnapshot snapshot;
    snapshot.classKey = u"#";
    try {
        snapshot.caption = Trim(WindowCaption(api.windows, window));
        snapshot.classKey = u"#" + Trim(WindowClassName(api.windows, window));
        if (memo == nullptr) {
            snapshot.imagePath = Trim(GetWindowProcessPath(api, window));
            return snapshot;
        }
        std::uint32_t processId = 0;
        api.windows.GetWindowThreadProcessId(window, &processId);
        if (processId == 0 || memo->window != window || memo->processId != processId || memo->path.empty()) {
            *memo = ImagePathMemo{window, processId, Trim(GetWindowProcessPath(api, window))};
        }
        snapshot.imagePath = memo->path;
    } catch (...) {
        // What was read before the failure stays; the rest is empty.
    }
    return snapshot;
}

}  // namespace kx
