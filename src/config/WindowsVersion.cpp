#include "config/WindowsVersion.h"

#include "config/Contract.h"

namespace kx {

namespace {

constexpr std::uint8_t kWorkstation = 1;  // VER_NT_WORKSTATION

// Workstation and server indexes of one release; product type 0 (not
// reported) gives -1.
int ByProductType(std::uint8_t productType, int workstation, int server) {
    if (productType == kWorkstation) return workstation;
    if (productType == 2 || productType == 3) return server;  // domain controller, server
    return -1;
}

int MapVersion(std::uint32_t major, std::uint32_t minor, std::uint8_t productType) {
    if (major == 10) return 8;
    if (major == 5) {
        if (minor == 0) return 0;
        if (minor == 1) return 1;
        if (minor == 2) return ByProductType(productType, 1, 2);
        return -1;
    }
    if (major == 6) {
        switch (minor) {
            case 0: return ByProductType(productType, 3, 4);
            case 1: return ByProductType(productType, 5, 4);
            case 2:
            case 3: return ByProductType(productType, 6, 7);
            default: return -1;
        }
    }
    return -1;
}

// Releases what SHGetKnownFolderPath handed out, on every path.
class CoTaskText {
public:
    explicit CoTaskText(IShell& shell) : shell_(shell) {}
    ~CoTaskText() { shell_.CoTaskMemFree(text); }
    CoTaskText(const CoTaskText&) = delete;
    CoTaskText& operator=(const CoTaskText&) = delete;
    char16_t* text = nullptr;

private:
    IShell& shell_;
};

Text WithBackslash(Text folder) {
    if (folder.empty() || folder.back() != u'\\') folder.push_back(u'\\');
    return folder;
}

}  // namespace

int GetWindowsVersionIndex(ISystemInfo& system) {
    try {
        OsVersionInfo info;
        info.dwOSVersionInfoSize = 284;
        if (!system.GetVersionExW(&info)) {
            // The basic record has no product type.
            info = OsVersionInfo{};
            info.dwOSVersionInfoSize = 276;
            system.GetVersionExW(&info);
            info.wProductType = 0;
        }
        return MapVersion(info.dwMajorVersion, info.dwMinorVersion, info.wProductType);
    } catch (...) {
        return -1;
    }
}

Text GetCommonDataFolder(ISystemInfo& system, IShell& shell) {
    try {
        if (GetWindowsVersionIndex(system) >= 3) {
            CoTaskText path(shell);
            shell.SHGetKnownFolderPath(kFolderIdProgramData, 0, 0, &path.text);
            return WithBackslash(path.text != nullptr ? Text(path.text) : Text());
        }
        char16_t buffer[261] = {};
        if (w32::HrFailed(shell.SHGetFolderPathW(0, w32::kCsidlCommonAppdata, 0, 0, buffer))) {
            // The buffer's content is undefined after a failure.
            return Text();
        }
        buffer[260] = 0;
        return WithBackslash(Text(buffer));
    } catch (...) {
        return Text();
    }
}

Text BlockListPath(ISystemInfo& system, IShell& shell) {
    const Text folder = GetCommonDataFolder(system, shell);
    // Without a real folder the file would be looked for relative to the
    // current drive or folder, where anybody may have put one: there is none.
    if (folder.size() < 2 || folder == u"\\") return Text();
    return folder + contract::kDataSubfolder + contract::kBlockListFileName;
}

}  // namespace kx
