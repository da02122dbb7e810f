// The system's answers to the load meter's three queries, laid out as the
// platform lays them out, for the simulated NtQuerySystemInformation.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>

#include "display/LoadMeter.h"
#include "sim/SimPlatform.h"

namespace kx::testing_support {

constexpr long kStatusUnsuccessful = static_cast<long>(0xC0000001L);
constexpr long kStatusInfoLengthMismatch = static_cast<long>(0xC0000004L);
constexpr std::int64_t kSecond = 10000000;          // 100-ns units
constexpr std::int64_t kStart = 133002672000000000;  // 2022-06-01 12:00 UTC

struct SystemReadings {
    std::uint8_t processors = 4;
    std::int64_t systemTime = kStart;
    std::int64_t idleTime = 1000 * kSecond;
    std::set<std::uint32_t> failing;        // information classes that fail
    std::uint32_t performanceLength = 0;    // the only length accepted; 0: 312 or 1000

    void Install(sim::SimWorld& world) {
        world.systemInformation = [this](std::uint32_t infoClass, void* buffer, std::uint32_t length) {
            if (failing.count(infoClass) != 0) return kStatusUnsuccessful;
            auto* bytes = static_cast<std::uint8_t*>(buffer);
            // The platform fills the whole record: the buffer must hold it.
            std::memset(bytes, 0xA5, length);
            auto put64 = [bytes](std::size_t offset, std::int64_t value) {
                for (int i = 0; i < 8; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
            };
            switch (infoClass) {
                case w32::kSystemBasicInformation:
                    // As the system: only the record of this process's pointer size
                    // (64 bytes, the count at 56, on a 64-bit host).
                    if (length != (sizeof(void*) == 8 ? 64u : 44u)) return kStatusInfoLengthMismatch;
                    bytes[sizeof(void*) == 8 ? 56 : 40] = processors;
                    return 0L;
                case w32::kSystemTimeOfDayInformation:
                    if (length != 32) return kStatusInfoLengthMismatch;
                    put64(8, systemTime);
                    return 0L;
                case w32::kSystemPerformanceInformation:
                    if (performanceLength != 0 ? length != performanceLength : (length != 312 && length != 1000)) {
                        return kStatusInfoLengthMismatch;
                    }
                    put64(0, idleTime);
                    return 0L;
                default:
                    return static_cast<long>(0xC0000003L);
            }
        };
    }

    // One interval: the clock moves by dT and the processors idle for dI in all.
    void Advance(std::int64_t dT, std::int64_t dI) {
        systemTime += dT;
        idleTime += dI;
    }
};

}  // namespace kx::testing_support
