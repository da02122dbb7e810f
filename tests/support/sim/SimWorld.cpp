#include "sim/SimWorld.h"

namespace kx::sim {

Text Upper(const Text& text) {
    Text out = text;
    for (auto& c : out) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return out;
}

Text T(const std::string& utf8) {
    Text out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = b;
        std::size_t len = 1;
        if (b >= 0xF0) {
            cp = b & 0x07u;
            len = 4;
        } else if (b >= 0xE0) {
            cp = b & 0x0Fu;
            len = 3;
        } else if (b >= 0xC0) {
            cp = b & 0x1Fu;
            len = 2;
        }
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        i += len;
        AppendCodePoint(out, cp);
    }
    return out;
}

void AppendCodePoint(Text& out, std::uint32_t codePoint) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(codePoint));
    }
}

std::string U8(const Text& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

KHandle HandleTable::Open(HandleKind kind, std::uint64_t object) {
    KHandle handle = next_;
    next_ += 4;
    open_[handle] = Entry{kind, object};
    ++opened_[kind];
    return handle;
}

bool HandleTable::Close(KHandle handle, HandleKind kind) {
    auto it = open_.find(handle);
    if (it == open_.end() || it->second.kind != kind) {
        ++badCloses_;
        return false;
    }
    open_.erase(it);
    return true;
}

const HandleTable::Entry* HandleTable::Find(KHandle handle, HandleKind kind) const {
    auto it = open_.find(handle);
    if (it == open_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

std::size_t HandleTable::OpenCount(HandleKind kind) const {
    std::size_t n = 0;
    for (const auto& [handle, entry] : open_) {
        if (entry.kind == kind) ++n;
    }
    return n;
}

std::size_t HandleTable::OpenedTotal(HandleKind kind) const {
    auto it = opened_.find(kind);
    return it == opened_.end() ? 0 : it->second;
}

SimWorld::SimWorld() {
    metrics[w32::kSmCxSmIcon] = 16;
    metrics[w32::kSmCySmIcon] = 16;
    for (std::size_t i = 0; i < sysColors.size(); ++i) {
        // A recognisable, distinct colour per index.
        sysColors[i] = 0x00010101u * static_cast<std::uint32_t>(i + 1);
    }
    iconTitleFont.lfHeight = -12;
    iconTitleFont.lfWeight = 400;
    iconTitleFont.lfFaceName = u"Tahoma";
    SetVersion(6, 1, 1);
    drives = {{u"C:\\", u"\\Device\\HarddiskVolume1", false}};
    libraries[u"PSAPI.DLL"].entries = {"GetProcessImageFileNameW"};
    libraries[u"KERNEL32.DLL"].entries = {"OpenThread"};
    libraries[u"NTDLL.DLL"].entries = {"NtQuerySystemInformation"};
    libraries[u"HHCTRL.OCX"].entries = {"HtmlHelpW"};
    // 2022-06-01 12:00:00 UTC.
    fileTimeUtc = 133002672000000000LL;
    SimProcess own;
    own.imageDevicePath = u"\\Device\\HarddiskVolume1\\Program Files\\VELMOR\\Kestrix\\KestrixTray.exe";
    own.modulePath = ownModuleFileName;
    processes[currentProcessId] = own;
}

Hwnd SimWorld::AddWindow(const Text& title, const Text& className, std::uint32_t processId, std::uint32_t threadId) {
    Hwnd window = nextWindow_;
    nextWindow_ += 2;
    windows[window] = SimWindow{title, className, processId, threadId, true};
    if (threadId != 0 && threads.find(threadId) == threads.end()) AddThread(threadId, processId);
    return window;
}

void SimWorld::AddProcess(std::uint32_t processId, const Text& imageDevicePath, const Text& modulePath) {
    SimProcess process;
    process.imageDevicePath = imageDevicePath;
    process.modulePath = modulePath;
    process.instance = nextProcessInstance_++;
    processes[processId] = process;
}

void SimWorld::UseProcessorTopology(std::vector<CpuSetInfo> sets) {
    cpuSets = std::move(sets);
    auto& kernel = libraries[u"KERNEL32.DLL"].entries;
    kernel.insert({"GetSystemCpuSetInformation", "SetThreadIdealProcessorEx", "GetThreadGroupAffinity",
                   "GetProcessDefaultCpuSets", "SetProcessDefaultCpuSets", "GetLogicalProcessorInformationEx"});
}

void SimWorld::AddThread(std::uint32_t threadId, std::uint32_t processId) {
    SimThread thread;
    thread.processId = processId;
    threads[threadId] = thread;
}

void SimWorld::SetVersion(std::uint32_t major, std::uint32_t minor, std::uint8_t productType) {
    version = OsVersionInfo{};
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.wProductType = productType;
}

RegKey& SimWorld::Key(const Text& path) { return keys[Upper(path)]; }

void SimWorld::SetString(const Text& keyPath, const Text& name, const Text& value) {
    RegValue v;
    v.type = w32::kRegSz;
    for (char16_t c : value) {
        v.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        v.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    v.data.push_back(0);
    v.data.push_back(0);
    Key(keyPath).values[Upper(name)] = {name, v};
}

void SimWorld::SetDword(const Text& keyPath, const Text& name, std::uint32_t value) {
    RegValue v;
    v.type = w32::kRegDword;
    for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    Key(keyPath).values[Upper(name)] = {name, v};
}

void SimWorld::DeleteValue(const Text& keyPath, const Text& name) {
    auto it = keys.find(Upper(keyPath));
    if (it != keys.end()) it->second.values.erase(Upper(name));
}

const RegValue* SimWorld::Value(const Text& keyPath, const Text& name) const {
    auto it = keys.find(Upper(keyPath));
    if (it == keys.end()) return nullptr;
    auto v = it->second.values.find(Upper(name));
    return v == it->second.values.end() ? nullptr : &v->second.second;
}

void SimWorld::SetLocalTime(const SystemTime& local) {
    // Days from 1601-01-01 to the date, by the civil calendar.
    auto daysFromCivil = [](std::int64_t y, unsigned m, unsigned d) {
        y -= m <= 2;
        const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
        const auto yoe = static_cast<unsigned>(y - era * 400);
        const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
    };
    const std::int64_t days1970 = daysFromCivil(local.wYear, local.wMonth, local.wDay);
    const std::int64_t days1601 = days1970 + 134774;
    const std::int64_t localTicks =
        ((days1601 * 86400 + local.wHour * 3600 + local.wMinute * 60 + local.wSecond) * 1000 + local.wMilliseconds) *
        10000;
    fileTimeUtc = localTicks - localOffset100ns;
}

}  // namespace kx::sim
