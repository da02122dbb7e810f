#include "display/BusiestCore.h"

#include <algorithm>
#include <cstdio>

namespace kx {

namespace {

std::int64_t ReadInt64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
}

constexpr std::uint32_t kGroupBufferLength = w32::kMaxProcessorsPerGroup * w32::kProcessorPerformanceRecordLength;

}  // namespace

std::vector<ProcessorTimes> ParseProcessorRecords(const std::uint8_t* bytes, std::uint32_t length) {
    std::vector<ProcessorTimes> times;
    for (std::uint32_t at = 0; at + w32::kProcessorPerformanceRecordLength <= length;
         at += w32::kProcessorPerformanceRecordLength) {
        times.push_back(ProcessorTimes{ReadInt64(bytes + at), ReadInt64(bytes + at + 8), ReadInt64(bytes + at + 16)});
    }
    return times;
}

std::optional<double> BusiestLoad(const std::vector<ProcessorTimes>& before, const std::vector<ProcessorTimes>& now) {
    if (before.empty() || before.size() != now.size()) return std::nullopt;
    std::optional<double> busiest;
    for (std::size_t i = 0; i < now.size(); ++i) {
        // A processor whose counters did not advance, or went back (brought
        // online anew), gives no reading.
        const double total = static_cast<double>(now[i].kernel - before[i].kernel) +
                             static_cast<double>(now[i].user - before[i].user);
        const double idle = static_cast<double>(now[i].idle - before[i].idle);
        if (!(total > 0) || idle < 0) continue;
        double load = (total - idle) * 100.0 / total;
        if (load < 0) load = 0;
        if (load > 100) load = 100;
        if (!busiest || load > *busiest) busiest = load;
    }
    return busiest;
}

bool BusiestCoreMeter::FindEntries() {
    if (entriesSought_) return query_ != 0 || queryEx_ != 0;
    entriesSought_ = true;
    ntdll_ = OwnedLibrary(libraries_, libraries_.LoadLibraryW(u"ntdll.dll"));
    if (!ntdll_) return false;
    query_ = libraries_.GetProcAddress(ntdll_.get(), "NtQuerySystemInformation");
    // Windows 7 and later: the processors of any group, not only the caller's.
    queryEx_ = libraries_.GetProcAddress(ntdll_.get(), "NtQuerySystemInformationEx");
    return query_ != 0 || queryEx_ != 0;
}

bool BusiestCoreMeter::ReadGroups(std::vector<ProcessorTimes>* times) {
    const std::uint16_t last = groupsSought_ ? groups_ : kMaxGroups;
    std::uint16_t answered = 0;
    for (std::uint16_t group = 0; group < last; ++group) {
        std::uint32_t written = 0;
        const long status = system_.CallNtQuerySystemInformationEx(
            queryEx_, w32::kSystemProcessorPerformanceInformation, &group, sizeof group, buffer_.data(),
            kGroupBufferLength, &written);
        if (status != 0 || written < w32::kProcessorPerformanceRecordLength) break;
        const std::vector<ProcessorTimes> records = ParseProcessorRecords(buffer_.data(), written);
        times->insert(times->end(), records.begin(), records.end());
        ++answered;
    }
    if (!groupsSought_) {
        // The groups are those that answered the first time; the last one
        // asked is past them, and is not asked again.
        groupsSought_ = true;
        groups_ = answered;
    } else if (answered != groups_) {
        return false;
    }
    return answered != 0;
}

bool BusiestCoreMeter::ReadProcessorTimes(std::vector<ProcessorTimes>* times) {
    times->clear();
    if (!FindEntries()) return false;
    buffer_.resize(kGroupBufferLength);
    if (queryEx_ != 0 && (!groupsSought_ || groups_ != 0)) {
        if (ReadGroups(times)) return true;
        times->clear();
        if (groups_ != 0) return false;  // a group that answered before fails now
    }
    if (query_ == 0) return false;
    std::uint32_t written = 0;
    const long status = system_.CallNtQuerySystemInformation(query_, w32::kSystemProcessorPerformanceInformation,
                                                             buffer_.data(), kGroupBufferLength, &written);
    if (status != 0) {
        if (trace_ != nullptr) {
            char line[112];
            std::snprintf(line, sizeof line, "NtQuerySystemInformation(class 8) failed with status 0x%08lX",
                          static_cast<unsigned long>(status));
            trace_->Line("load", line);
        }
        return false;
    }
    *times = ParseProcessorRecords(buffer_.data(), std::min(written, kGroupBufferLength));
    return !times->empty();
}

std::optional<double> BusiestCoreMeter::ReadBusiestLoad() {
    try {
        std::vector<ProcessorTimes> now;
        if (!ReadProcessorTimes(&now)) {
            previous_.clear();
            return std::nullopt;
        }
        const std::optional<double> load = BusiestLoad(previous_, now);
        previous_ = std::move(now);
        return load;
    } catch (...) {
        previous_.clear();
        return std::nullopt;
    }
}

}  // namespace kx
