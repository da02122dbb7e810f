#include "display/LoadMeter.h"

#include <cstdio>

#include "config/WindowsVersion.h"

namespace kx {

namespace {
constexpr long kStatusUnsuccessful = static_cast<long>(0xC0000001L);
constexpr long kStatusDllNotFound = static_cast<long>(0xC0000135L);
constexpr long kStatusEntryPointNotFound = static_cast<long>(0xC0000139L);

// The queries' fields are little-endian at fixed offsets.
std::int64_t ReadInt64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
}

// The load is defined in double arithmetic. On x87 builds the compiler may
// keep intermediate results in 80-bit registers; a store through a volatile
// double rounds each step to double, so every build measures alike.
double Rounded(double value) {
    volatile double stored = value;
    return stored;
}
}  // namespace

long LoadMeter::QuerySystemInformation(std::uint32_t infoClass, void* buffer, std::uint32_t length) {
    try {
        // Three queries a second: the entry is found once, not three times a tick.
        if (entry_ == 0) {
            OwnedLibrary ntdll(libraries_, libraries_.LoadLibraryW(u"ntdll.dll"));
            if (!ntdll) return kStatusDllNotFound;
            const ProcAddress entry = libraries_.GetProcAddress(ntdll.get(), "NtQuerySystemInformation");
            if (entry == 0) return kStatusEntryPointNotFound;
            ntdll_ = std::move(ntdll);
            entry_ = entry;
        }
        return system_.CallNtQuerySystemInformation(entry_, infoClass, buffer, length, nullptr);
    } catch (...) {
        return kStatusUnsuccessful;
    }
}

bool LoadMeter::Failed(std::uint32_t infoClass, long status) {
    if (status == 0) return false;
    if (trace_ != nullptr) {
        char line[96];
        std::snprintf(line, sizeof line, "NtQuerySystemInformation(class %u) failed with status 0x%08lX",
                      static_cast<unsigned>(infoClass), static_cast<unsigned long>(status));
        trace_->Line("load", line);
    }
    return true;
}

double LoadMeter::GetSystemProcessorLoad() {
    try {
        alignas(8) std::uint8_t basic[kBasicLength] = {};
        if (Failed(w32::kSystemBasicInformation, QuerySystemInformation(w32::kSystemBasicInformation, basic,
                                                                        kBasicLength))) {
            return 0;
        }

        alignas(8) std::uint8_t timeOfDay[kTimeOfDayLength] = {};
        if (Failed(w32::kSystemTimeOfDayInformation,
                   QuerySystemInformation(w32::kSystemTimeOfDayInformation, timeOfDay, kTimeOfDayLength))) {
            return 0;
        }

        // Releases before Windows 7 (and unrecognised ones) refuse the longer
        // performance record, later ones the shorter.
        const std::uint32_t performanceLength =
            GetWindowsVersionIndex(system_) < 5 ? kPerformanceLengthOld : kPerformanceLength;
        alignas(8) std::uint8_t performance[kPerformanceLength] = {};
        if (Failed(w32::kSystemPerformanceInformation,
                   QuerySystemInformation(w32::kSystemPerformanceInformation, performance, performanceLength))) {
            return 0;
        }

        const std::int64_t idle = ReadInt64(performance);
        const std::int64_t systemTime = ReadInt64(timeOfDay + 8);
        const unsigned processors = basic[kBasicProcessorCountOffset];

        double result = 0;
        if (state_.PreviousIdleTime != 0) {
            const double dI = Rounded(Rounded(static_cast<double>(idle)) -
                                      Rounded(static_cast<double>(state_.PreviousIdleTime)));
            const double dT = Rounded(Rounded(static_cast<double>(systemTime)) -
                                      Rounded(static_cast<double>(state_.PreviousSystemTime)));
            // No time has passed, or no processor was reported: nothing to
            // measure, and the stored reading stays the start of the next interval.
            if (dT == 0 || processors == 0) return 0;
            double v = Rounded(Rounded(Rounded(dI / dT) * 100) / processors);
            v = Rounded(Rounded(100 - v) + 0.5);
            // The half point is added before the clamp: an idle interval gives 0.5.
            if (v < 0) v = 0;
            if (v > 100) v = 100;
            result = v;
        }
        state_.PreviousIdleTime = idle;
        state_.PreviousSystemTime = systemTime;
        return result;
    } catch (...) {
        return 0;
    }
}

}  // namespace kx
