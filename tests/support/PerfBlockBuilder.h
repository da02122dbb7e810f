// Builds performance data blocks laid out as the platform publishes them
// (PERF_DATA_BLOCK, PERF_OBJECT_TYPE, PERF_COUNTER_DEFINITION,
// PERF_INSTANCE_DEFINITION, PERF_COUNTER_BLOCK), for the sampler's tests,
// its fuzz target and its benchmark.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace kx::test {

struct PerfObjectShape {
    std::uint32_t titleIndex = 238;
    // Title indices of the counter definitions, in order; 6 is processor time.
    std::vector<std::uint32_t> counters = {6};
    // The processor time counter of each instance, total last.
    std::vector<std::int64_t> values;
    // NumInstances as reported; -2 means values.size().
    std::int32_t reportedInstances = -2;
    // The instances' names ("0,12", "12", "_Total"), at most 7 characters;
    // empty: "#0", "#1", ... and "_T", which name no processor.
    std::vector<std::u16string> names;
};

struct PerfBlockShape {
    SystemTime time{2022, 6, 3, 1, 12, 0, 0, 0};
    std::vector<PerfObjectShape> objects;
};

// Where the parts of the last built processor object lie, for tests that
// corrupt one field.
struct PerfLayout {
    std::size_t objectAt = 0;
    std::size_t firstCounterAt = 0;
    std::size_t firstInstanceAt = 0;
    std::size_t instanceStride = 0;  // definition + counter block
};

inline void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}
inline void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    std::memcpy(bytes.data() + at, &value, 2);
}
inline void PutI64(std::vector<std::uint8_t>& bytes, std::size_t at, std::int64_t value) {
    std::memcpy(bytes.data() + at, &value, 8);
}

constexpr std::size_t kBlockHeader = 96;   // fields to SystemNameOffset, padded to 8
constexpr std::size_t kObjectHeader = 64;  // PERF_OBJECT_TYPE of a 32-bit process
constexpr std::size_t kCounterDefinition = 40;
constexpr std::size_t kInstanceDefinition = 32;  // 24 bytes and a short name ("12\0" padded)

inline std::vector<std::uint8_t> BuildPerfBlock(const PerfBlockShape& shape, PerfLayout* layout = nullptr) {
    std::vector<std::uint8_t> out(kBlockHeader, 0);
    const char16_t signature[] = u"PERF";
    std::memcpy(out.data(), signature, 8);
    PutU32(out, 8, 1);  // little-endian
    PutU32(out, 24, static_cast<std::uint32_t>(kBlockHeader));
    PutU32(out, 28, static_cast<std::uint32_t>(shape.objects.size()));
    const std::uint16_t time[8] = {shape.time.wYear,   shape.time.wMonth,  shape.time.wDayOfWeek, shape.time.wDay,
                                   shape.time.wHour,   shape.time.wMinute, shape.time.wSecond,    shape.time.wMilliseconds};
    for (int i = 0; i < 8; ++i) PutU16(out, 36 + 2 * static_cast<std::size_t>(i), time[i]);

    for (const PerfObjectShape& object : shape.objects) {
        const std::size_t objectAt = out.size();
        const std::size_t counterBlock = 8 + 8 * object.counters.size();
        const std::size_t definitionLength = kObjectHeader + kCounterDefinition * object.counters.size();
        const std::size_t definition = object.names.empty() ? kInstanceDefinition : kInstanceDefinition + 8;
        const std::size_t stride = definition + counterBlock;
        out.resize(objectAt + definitionLength + stride * object.values.size(), 0);
        PutU32(out, objectAt + 0, static_cast<std::uint32_t>(out.size() - objectAt));
        PutU32(out, objectAt + 4, static_cast<std::uint32_t>(definitionLength));
        PutU32(out, objectAt + 8, static_cast<std::uint32_t>(kObjectHeader));
        PutU32(out, objectAt + 12, object.titleIndex);
        PutU32(out, objectAt + 32, static_cast<std::uint32_t>(object.counters.size()));
        const std::int32_t reported =
            object.reportedInstances == -2 ? static_cast<std::int32_t>(object.values.size()) : object.reportedInstances;
        PutU32(out, objectAt + 40, static_cast<std::uint32_t>(reported));
        for (std::size_t c = 0; c < object.counters.size(); ++c) {
            const std::size_t at = objectAt + kObjectHeader + kCounterDefinition * c;
            PutU32(out, at + 0, static_cast<std::uint32_t>(kCounterDefinition));
            PutU32(out, at + 4, object.counters[c]);
            PutU32(out, at + 36, static_cast<std::uint32_t>(8 + 8 * c));
        }
        for (std::size_t i = 0; i < object.values.size(); ++i) {
            const std::size_t at = objectAt + definitionLength + stride * i;
            PutU32(out, at, static_cast<std::uint32_t>(definition));
            PutU32(out, at + 16, 24);  // NameOffset
            const std::u16string name =
                !object.names.empty() ? object.names[i].substr(0, 7)
                : i + 1 == object.values.size() ? u"_T"
                                                : u"#" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            PutU32(out, at + 20, static_cast<std::uint32_t>(2 * (name.size() + 1)));  // NameLength
            std::memcpy(out.data() + at + 24, name.data(), 2 * name.size());
            const std::size_t blockAt = at + definition;
            PutU32(out, blockAt, static_cast<std::uint32_t>(counterBlock));
            for (std::size_t c = 0; c < object.counters.size(); ++c) {
                // Other counters carry a value that would stand out if read.
                PutI64(out, blockAt + 8 + 8 * c, object.counters[c] == 6 ? object.values[i] : 0x5A5A5A5A5A5ALL);
            }
        }
        if (layout != nullptr && object.titleIndex == 238) {
            *layout = PerfLayout{objectAt, objectAt + kObjectHeader, objectAt + definitionLength, stride};
        }
    }
    PutU32(out, 20, static_cast<std::uint32_t>(out.size()));  // TotalByteLength
    return out;
}

// One processor object with the given idle times (total last).
inline std::vector<std::uint8_t> ProcessorBlock(const std::vector<std::int64_t>& values, const SystemTime& time,
                                                PerfLayout* layout = nullptr) {
    PerfBlockShape shape;
    shape.time = time;
    PerfObjectShape object;
    object.values = values;
    shape.objects.push_back(object);
    return BuildPerfBlock(shape, layout);
}

}  // namespace kx::test
