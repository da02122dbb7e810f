#include "sim/SimSystem.h"

#include <algorithm>
#include <cstring>

#include "sim/SimLibraries.h"

namespace kx::sim {

bool SimSystem::GetVersionExW(OsVersionInfo* info) {
    if (info == nullptr) return false;
    const std::uint32_t size = info->dwOSVersionInfoSize;
    versionRecordSizes.push_back(size);
    if (world_.versionFails) return false;
    if (size == 284 && world_.extendedVersionFails) return false;
    if (size != 284 && size != 276) return false;
    *info = world_.version;
    info->dwOSVersionInfoSize = size;
    if (size == 276) info->wProductType = 0;
    return true;
}

std::uint32_t SimSystem::GetACP() { return world_.ansiCodePage; }

namespace {
// Windows-1252 bytes 0x80 to 0x9F; the undefined ones map to themselves, as
// MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// UTF-8 as Windows decodes it: a malformed sequence becomes U+FFFD.
Text DecodeUtf8Lossy(const std::uint8_t* bytes, std::size_t count) {
    Text out;
    std::size_t i = 0;
    while (i < count) {
        const std::uint8_t b = bytes[i];
        const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        std::uint32_t code = extra == 0 ? b : extra == 1 ? (b & 0x1Fu) : extra == 2 ? (b & 0x0Fu) : (b & 0x07u);
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < count;
        for (int k = 1; valid && k <= extra; ++k) {
            const std::uint8_t c = bytes[i + static_cast<std::size_t>(k)];
            valid = (c & 0xC0) == 0x80;
            code = (code << 6) | (c & 0x3Fu);
        }
        if (!valid) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        AppendCodePoint(out, code);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}
}  // namespace

Text SimSystem::MultiByteToWideChar(std::uint32_t codePage, const std::uint8_t* bytes, std::size_t count) {
    if (codePage == 65001) return DecodeUtf8Lossy(bytes, count);
    Text out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (codePage == 949 && b >= 0x81 && b <= 0xFE) {
            // Korean (Unified Hangul Code): a lead byte and its trail byte are
            // one character. The simulation carries no table of the code page:
            // each pair stands for some Hangul syllable, as a Latin text read
            // in it shows Hangul; a lead byte without a trail is U+FFFD.
            if (i + 1 < count && bytes[i + 1] >= 0x41 && bytes[i + 1] <= 0xFE) {
                out.push_back(static_cast<char16_t>(0xAC00 + ((b - 0x81) * 190 + (bytes[i + 1] - 0x41)) % 11172));
                ++i;
            } else {
                out.push_back(0xFFFD);
            }
        } else if (codePage == 1252 && b >= 0x80 && b < 0xA0) {
            out.push_back(kCp1252High[b - 0x80]);
        } else if (codePage == 1251 && b >= 0xC0) {
            out.push_back(static_cast<char16_t>(0x0410 + (b - 0xC0)));  // the Cyrillic letters А..я
        } else {
            out.push_back(static_cast<char16_t>(b));
        }
    }
    return out;
}

std::uint32_t SimSystem::GetLogicalDriveStringsW(std::uint32_t bufferLength, char16_t* buffer) {
    if (world_.driveStringsFail) return 0;
    Text list;
    for (const auto& drive : world_.drives) {
        list += drive.root;
        list.push_back(0);
    }
    const auto needed = static_cast<std::uint32_t>(list.size());  // without the final zero
    if (needed + 1 > bufferLength || buffer == nullptr) return needed + 1;
    std::copy(list.begin(), list.end(), buffer);
    buffer[needed] = 0;
    return needed;
}

std::uint32_t SimSystem::QueryDosDeviceW(const Text& deviceName, char16_t* buffer, std::uint32_t max) {
    for (const auto& drive : world_.drives) {
        if (Upper(drive.root.substr(0, 2)) != Upper(deviceName)) continue;
        if (drive.queryFails) return 0;
        if (buffer == nullptr || drive.device.size() + 2 > max) return 0;
        std::copy(drive.device.begin(), drive.device.end(), buffer);
        buffer[drive.device.size()] = 0;
        buffer[drive.device.size() + 1] = 0;
        return static_cast<std::uint32_t>(drive.device.size() + 2);
    }
    return 0;
}

bool SimSystem::SystemTimeToFileTime(const SystemTime& t, std::int64_t* fileTime) {
    if (fileTime == nullptr || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > 31 || t.wHour > 23 ||
        t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999 || t.wYear < 1601 || t.wYear > 30827) {
        // As the platform: a FILETIME reaches only to the year 30827.
        return false;
    }
    std::int64_t y = t.wYear;
    const unsigned m = t.wMonth;
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.wDay - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days1970 = era * 146097 + static_cast<std::int64_t>(doe) - 719468;
    const std::int64_t days1601 = days1970 + 134774;
    *fileTime = ((days1601 * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond) * 1000 + t.wMilliseconds) * 10000;
    return true;
}

bool SimSystem::CallGetSystemCpuSetInformation(ProcAddress entry, std::vector<CpuSetInfo>* sets) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "GetSystemCpuSetInformation")) return false;
    *sets = world_.cpuSets;
    return true;
}

bool SimSystem::CallGetProcessorCaches(ProcAddress entry, std::vector<CacheInfo>* caches) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"KERNEL32.DLL", "GetLogicalProcessorInformationEx")) return false;
    *caches = world_.caches;
    return true;
}

long SimSystem::CallNtQuerySystemInformation(ProcAddress entry, std::uint32_t infoClass, void* buffer,
                                             std::uint32_t length, std::uint32_t* returnLength) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"NTDLL.DLL", "NtQuerySystemInformation")) {
        return static_cast<long>(0xC0000002L);  // STATUS_NOT_IMPLEMENTED
    }
    world_.systemInformationCalls.emplace_back(infoClass, length);
    if (returnLength != nullptr) *returnLength = 0;
    if (infoClass == kProcessorPerformanceClass && !world_.processorRecords.empty()) {
        return ProcessorRecords(world_.processorRecords.front(), buffer, length, returnLength);
    }
    if (!world_.systemInformation) return static_cast<long>(0xC0000003L);  // STATUS_INVALID_INFO_CLASS
    return world_.systemInformation(infoClass, buffer, length);
}

long SimSystem::ProcessorRecords(const std::vector<std::uint8_t>& records, void* buffer, std::uint32_t length,
                                 std::uint32_t* returnLength) {
    // As the system: the buffer must hold every processor of the group.
    if (length < records.size()) return static_cast<long>(0xC0000004L);  // STATUS_INFO_LENGTH_MISMATCH
    if (!records.empty()) std::memcpy(buffer, records.data(), records.size());
    if (returnLength != nullptr) *returnLength = static_cast<std::uint32_t>(records.size());
    return 0;
}

long SimSystem::CallNtQuerySystemInformationEx(ProcAddress entry, std::uint32_t infoClass, const void* input,
                                               std::uint32_t inputLength, void* buffer, std::uint32_t length,
                                               std::uint32_t* returnLength) {
    if (!SimLibraries::IsLiveEntry(world_, entry, u"NTDLL.DLL", "NtQuerySystemInformationEx")) {
        return static_cast<long>(0xC0000002L);  // STATUS_NOT_IMPLEMENTED
    }
    world_.systemInformationCalls.emplace_back(infoClass, length);
    if (returnLength != nullptr) *returnLength = 0;
    if (infoClass != kProcessorPerformanceClass || world_.groupQueryFails) return static_cast<long>(0xC0000002L);
    if (input == nullptr || inputLength != sizeof(std::uint16_t)) return static_cast<long>(0xC000000DL);
    std::uint16_t group = 0;
    std::memcpy(&group, input, sizeof group);
    // STATUS_INVALID_PARAMETER past the last group.
    if (group >= world_.processorRecords.size()) return static_cast<long>(0xC000000DL);
    return ProcessorRecords(world_.processorRecords[group], buffer, length, returnLength);
}

bool SimSystem::LoadRcDataResource(const Text& name, std::vector<std::uint8_t>* bytes) {
    auto it = world_.resources.find(Upper(name));
    if (it == world_.resources.end() || bytes == nullptr) return false;
    *bytes = it->second;
    return true;
}

bool SimSystem::GenerateRandom(void* buffer, std::uint32_t length) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < length; ++i) {
        std::uint64_t& x = world_.randomState;
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return true;
}

KHandle SimFiles::CreateFileW(const Text& path, std::uint32_t access, std::uint32_t shareMode,
                              std::uint32_t disposition, std::uint32_t flagsAndAttributes) {
    world_.fileOpens.emplace_back(path, shareMode);
    if ((access & w32::kGenericWrite) != 0) {
        // Writing: a new or truncated file, in a folder that exists.
        if (world_.fileWritesRefused || !Change()) return 0;
        const Text upper = Upper(path);
        const auto slash = upper.rfind(u'\\');
        if (slash != Text::npos && world_.folders.count(upper.substr(0, slash)) == 0) return 0;
        auto existing = world_.files.find(upper);
        if (disposition == w32::kCreateNew && existing != world_.files.end()) return 0;
        if (disposition != w32::kCreateAlways && disposition != w32::kCreateNew) return 0;
        if (existing != world_.files.end() && existing->second.openForWriting) return 0;
        SimFile& file = world_.files[upper];
        file.bytes.clear();
        file.lastWriteTime = world_.fileTimeUtc;
        world_.fileCreations.emplace_back(upper, flagsAndAttributes);
        if (world_.onFileCreated) world_.onFileCreated(upper, file);
        open_.push_back(OpenFile{upper, 0});
        return world_.handles.Open(HandleKind::File, open_.size() - 1);
    }
    auto it = world_.files.find(Upper(path));
    if (it == world_.files.end() || disposition != w32::kOpenExisting) return 0;
    if (it->second.locked) return 0;
    // A reader that does not share writing cannot open a file another program writes.
    if (it->second.openForWriting && (shareMode & 2u) == 0) return 0;
    if ((access & w32::kGenericRead) == 0) return 0;
    open_.push_back(OpenFile{Upper(path), 0});
    return world_.handles.Open(HandleKind::File, open_.size() - 1);
}

bool SimFiles::GetFileSizeEx(KHandle file, std::int64_t* size) {
    const auto* entry = world_.handles.Find(file, HandleKind::File);
    if (entry == nullptr || size == nullptr) return false;
    *size = static_cast<std::int64_t>(world_.files[open_[entry->object].path].bytes.size());
    return true;
}

bool SimFiles::ReadFile(KHandle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    const auto* entry = world_.handles.Find(file, HandleKind::File);
    if (entry == nullptr) return false;
    OpenFile& f = open_[entry->object];
    const auto& bytes = world_.files[f.path].bytes;
    const std::size_t n = std::min<std::size_t>(toRead, bytes.size() - std::min(bytes.size(), f.position));
    if (n != 0) std::memcpy(buffer, bytes.data() + f.position, n);
    f.position += n;
    if (read != nullptr) *read = static_cast<std::uint32_t>(n);
    return true;
}

bool SimFiles::CloseHandle(KHandle file) { return world_.handles.Close(file, HandleKind::File); }

bool SimFiles::WriteFile(KHandle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
    const auto* entry = world_.handles.Find(file, HandleKind::File);
    if (written != nullptr) *written = 0;
    if (entry == nullptr || world_.fileWriteFails || !Change()) return false;
    OpenFile& f = open_[entry->object];
    auto& bytes = world_.files[f.path].bytes;
    const auto* from = static_cast<const std::uint8_t*>(buffer);
    if (bytes.size() < f.position + toWrite) bytes.resize(f.position + toWrite);
    if (toWrite != 0) std::memcpy(bytes.data() + f.position, from, toWrite);
    f.position += toWrite;
    world_.files[f.path].lastWriteTime = world_.fileTimeUtc;
    world_.fileWrites.push_back(f.path);
    if (written != nullptr) *written = toWrite;
    return true;
}

bool SimFiles::FlushFileBuffers(KHandle file) {
    const auto* entry = world_.handles.Find(file, HandleKind::File);
    if (entry == nullptr) return false;
    world_.flushedFiles.push_back(open_[entry->object].path);
    return true;
}

bool SimFiles::MoveFileExW(const Text& from, const Text& to, std::uint32_t flags) {
    if (world_.moveFailuresLeft > 0) {
        --world_.moveFailuresLeft;
        return false;
    }
    auto source = world_.files.find(Upper(from));
    if (source == world_.files.end()) return false;
    const Text target = Upper(to);
    if (world_.files.count(target) != 0 && (flags & w32::kMoveFileReplaceExisting) == 0) return false;
    if (world_.files.count(target) != 0 && world_.files[target].locked) return false;
    if (source->second.locked || !Change()) return false;
    SimFile moved = source->second;
    world_.files.erase(source);
    world_.files[target] = std::move(moved);
    world_.fileMoves.emplace_back(from, to);
    return true;
}

bool SimFiles::DeleteFileW(const Text& path) {
    auto it = world_.files.find(Upper(path));
    if (it == world_.files.end() || it->second.locked || !Change()) return false;
    world_.files.erase(it);
    return true;
}

bool SimFiles::CreateDirectoryW(const Text& path) {
    if (world_.fileWritesRefused || !Change()) return false;
    return world_.folders.insert(Upper(path)).second;
}

std::uint32_t SimFiles::GetFileAttributesW(const Text& path) {
    const Text upper = Upper(path);
    if (world_.folders.count(upper) != 0) return w32::kFileAttributeDirectory;
    if (world_.files.count(upper) != 0) return 0x80;  // FILE_ATTRIBUTE_NORMAL
    return w32::kInvalidFileAttributes;
}

bool SimFiles::GetFileAttributesExW(const Text& path, FileAttributeData* data) {
    const Text upper = Upper(path);
    FileAttributeData found;
    if (world_.folders.count(upper) != 0) {
        found.attributes = w32::kFileAttributeDirectory;
    } else if (auto it = world_.files.find(upper); it != world_.files.end()) {
        found.attributes = 0x80;  // FILE_ATTRIBUTE_NORMAL
        found.lastWriteTime = it->second.lastWriteTime;
        found.size = static_cast<std::int64_t>(it->second.bytes.size());
    } else {
        return false;
    }
    if (data != nullptr) *data = found;
    return true;
}

std::uint32_t SimFiles::ReplaceFileW(const Text& replaced, const Text& replacement, const Text& backup,
                                     std::uint32_t) {
    const Text target = Upper(replaced);
    const Text source = Upper(replacement);
    const Text aside = Upper(backup);
    if (world_.files.count(target) == 0 || world_.files.count(source) == 0) return static_cast<std::uint32_t>(w32::kErrorFileNotFound);
    if (world_.files[target].locked || world_.files[source].locked ||
        (!backup.empty() && world_.files.count(aside) != 0 && world_.files[aside].locked)) {
        return w32::kErrorSharingViolation;
    }
    std::uint32_t error = 0;
    if (!world_.replaceErrors.empty()) {
        error = world_.replaceErrors.front();
        world_.replaceErrors.pop_front();
    }
    // 1175 and 1176 (with a backup named): nothing moved.
    if (error != 0 && error != w32::kErrorUnableToMoveReplacement2) return error;
    // The first step: the replaced file goes aside (or away).
    if (!Change()) return w32::kErrorUnableToRemoveReplaced;
    SimFile old = std::move(world_.files[target]);
    world_.files.erase(target);
    if (!backup.empty()) world_.files[aside] = std::move(old);
    // The second step: the replacement takes the replaced file's name.
    if (error == w32::kErrorUnableToMoveReplacement2 || !Change()) return w32::kErrorUnableToMoveReplacement2;
    SimFile moved = std::move(world_.files[source]);
    world_.files.erase(source);
    world_.files[target] = std::move(moved);
    world_.fileReplaces.emplace_back(replaced, backup);
    return 0;
}

const SimFile* SimFiles::OpenedFile(KHandle file) {
    const auto* entry = world_.handles.Find(file, HandleKind::File);
    if (entry == nullptr) return nullptr;
    auto it = world_.files.find(open_[entry->object].path);
    return it == world_.files.end() ? nullptr : &it->second;
}

bool SimFiles::GetFileInformationByHandle(KHandle file, FileIdentity* identity) {
    const SimFile* found = OpenedFile(file);
    if (found == nullptr || identity == nullptr) return false;
    identity->attributes = w32::kFileAttributeNormal | (found->reparsePoint ? w32::kFileAttributeReparsePoint : 0u);
    identity->numberOfLinks = found->links;
    return true;
}

bool SimFiles::GetFileOwner(KHandle file, Text* owner) {
    const SimFile* found = OpenedFile(file);
    if (found == nullptr || owner == nullptr) return false;
    *owner = found->owner.empty() ? world_.currentUserSid : found->owner;
    return true;
}

std::vector<Text> SimFiles::CurrentOwners() {
    if (world_.tokenUnreadable) return {};
    std::vector<Text> owners = {world_.currentUserSid};
    if (!world_.defaultOwnerSid.empty()) owners.push_back(world_.defaultOwnerSid);
    return owners;
}

bool SimFiles::FindFiles(const Text& pattern, std::vector<Text>* names) {
    if (names == nullptr) return false;
    names->clear();
    const Text upper = Upper(pattern);
    const auto slash = upper.rfind(u'\\');
    if (slash == Text::npos || world_.folders.count(upper.substr(0, slash)) == 0) return false;
    const Text folder = upper.substr(0, slash + 1);
    const Text name = upper.substr(slash + 1);
    const auto star = name.find(u'*');
    const Text prefix = folder + name.substr(0, star);
    const Text suffix = star == Text::npos ? Text() : name.substr(star + 1);
    for (const auto& [path, file] : world_.files) {
        const bool match = star == Text::npos
                               ? path == prefix
                               : path.size() >= prefix.size() + suffix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                                     path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                                     path.find(u'\\', folder.size()) == Text::npos;
        if (match) names->push_back(path.substr(folder.size()));
    }
    return true;
}

bool SimFiles::Change() {
    if (world_.fileChangesLeft == 0) return false;
    if (world_.fileChangesLeft > 0) --world_.fileChangesLeft;
    return true;
}

}  // namespace kx::sim
