// kxtestperf.dll: publishes the processor object (title index 238) with one
// counter, the processor's idle time (title index 6, 100-nanosecond units),
// for the instances a test chooses.
//
// Everything it publishes comes from its own service key, read afresh on each
// Collect, so a test changes the figures between two samples of the program:
//
//   HKLM\System\CurrentControlSet\Services\KxTestPerf\Parameters
//     IdleTimes     REG_BINARY: signed 64-bit little-endian idle times, one
//                   per instance in instance order, the total last (named
//                   "_Total"; the others "0", "1", ...). Missing or empty: no
//                   object is published.
//     CollectCount  REG_DWORD: incremented by every Collect call, so a test
//                   can count how often the program read the performance data.
#include <windows.h>
#include <winperf.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kParametersKey[] = L"System\\CurrentControlSet\\Services\\KxTestPerf\\Parameters";
constexpr DWORD kProcessorObject = 238;
constexpr DWORD kIdleTimeCounter = 6;
// Instances beyond this are not believed (a value a test got wrong).
constexpr std::size_t kMaxInstances = 1024;

DWORD Align8(DWORD size) { return (size + 7u) & ~7u; }

void CountCollect(HKEY key) {
    DWORD count = 0;
    DWORD type = 0;
    DWORD size = sizeof(count);
    if (::RegQueryValueExW(key, L"CollectCount", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        count = 0;
    }
    ++count;
    ::RegSetValueExW(key, L"CollectCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
}

// The idle times of the instances; empty when there are none to publish.
std::vector<LONGLONG> ReadIdleTimes(HKEY key) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, L"IdleTimes", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size == 0 || size % sizeof(LONGLONG) != 0 ||
        size / sizeof(LONGLONG) > kMaxInstances) {
        return {};
    }
    std::vector<LONGLONG> values(size / sizeof(LONGLONG));
    if (::RegQueryValueExW(key, L"IdleTimes", nullptr, &type, reinterpret_cast<BYTE*>(values.data()), &size) !=
            ERROR_SUCCESS ||
        size != values.size() * sizeof(LONGLONG)) {
        return {};
    }
    return values;
}

std::wstring InstanceName(std::size_t index, std::size_t count) {
    return index + 1 == count ? std::wstring(L"_Total") : std::to_wstring(index);
}

// The processor object with one counter and the given instances, laid out
// as the platform lays it out: object header, counter definition, then each
// instance definition with its name, followed by its counter block.
std::vector<BYTE> BuildObject(const std::vector<LONGLONG>& values) {
    constexpr DWORD kCounterBlockSize = 16;  // PERF_COUNTER_BLOCK, padding, the 8-byte value
    constexpr DWORD kValueOffset = 8;
    const DWORD definitionLength = sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION);

    std::vector<BYTE> bytes(definitionLength, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::wstring name = InstanceName(i, values.size());
        const DWORD nameBytes = static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
        const DWORD instanceLength = Align8(sizeof(PERF_INSTANCE_DEFINITION) + nameBytes);
        const std::size_t at = bytes.size();
        bytes.resize(at + instanceLength + kCounterBlockSize, 0);

        PERF_INSTANCE_DEFINITION instance{};
        instance.ByteLength = instanceLength;
        instance.UniqueID = static_cast<LONG>(PERF_NO_UNIQUE_ID);
        instance.NameOffset = sizeof(PERF_INSTANCE_DEFINITION);
        instance.NameLength = nameBytes;
        std::memcpy(&bytes[at], &instance, sizeof(instance));
        std::memcpy(&bytes[at + sizeof(instance)], name.c_str(), nameBytes);

        PERF_COUNTER_BLOCK block{};
        block.ByteLength = kCounterBlockSize;
        std::memcpy(&bytes[at + instanceLength], &block, sizeof(block));
        std::memcpy(&bytes[at + instanceLength + kValueOffset], &values[i], sizeof(LONGLONG));
    }

    PERF_OBJECT_TYPE object{};
    object.TotalByteLength = static_cast<DWORD>(bytes.size());
    object.DefinitionLength = definitionLength;
    object.HeaderLength = sizeof(PERF_OBJECT_TYPE);
    object.ObjectNameTitleIndex = kProcessorObject;
    object.DetailLevel = PERF_DETAIL_NOVICE;
    object.NumCounters = 1;
    object.DefaultCounter = 0;
    object.NumInstances = static_cast<LONG>(values.size());
    std::memcpy(&bytes[0], &object, sizeof(object));

    PERF_COUNTER_DEFINITION counter{};
    counter.ByteLength = sizeof(PERF_COUNTER_DEFINITION);
    counter.CounterNameTitleIndex = kIdleTimeCounter;
    counter.DetailLevel = PERF_DETAIL_NOVICE;
    counter.CounterType = PERF_100NSEC_TIMER_INV;
    counter.CounterSize = sizeof(LONGLONG);
    counter.CounterOffset = kValueOffset;
    std::memcpy(&bytes[sizeof(object)], &counter, sizeof(counter));
    return bytes;
}

// Whether the query asks for the processor object: "Global", or a list of
// title indexes among which 238 is.
bool Wanted(const wchar_t* query) {
    if (query == nullptr || *query == L'\0' || std::wcscmp(query, L"Global") == 0) return true;
    const wchar_t* p = query;
    while (*p != L'\0') {
        while (*p == L' ') ++p;
        DWORD number = 0;
        bool digits = false;
        while (*p >= L'0' && *p <= L'9') {
            number = number * 10u + static_cast<DWORD>(*p - L'0');
            digits = true;
            ++p;
        }
        if (digits && number == kProcessorObject) return true;
        if (!digits && *p != L'\0') ++p;
    }
    return false;
}

// Where the object goes. Windows hands the place right after the block's
// header. Wine 8 hands a pointer that lies sizeof(PERF_DATA_BLOCK) past the
// block's HeaderLength, while it reads the first object back at HeaderLength:
// the block (signature "PERF", found walking back from the pointer) tells
// which of the two it is.
BYTE* ObjectPlace(BYTE* pointer) {
    constexpr std::size_t kFarthest = 4096;  // the header and the system's name take far less
    static const wchar_t kSignature[4] = {L'P', L'E', L'R', L'F'};
    for (std::size_t back = sizeof(PERF_DATA_BLOCK); back <= kFarthest; back += sizeof(wchar_t)) {
        const BYTE* candidate = pointer - back;
        if (std::memcmp(candidate, kSignature, sizeof(kSignature)) != 0) continue;
        PERF_DATA_BLOCK block;
        std::memcpy(&block, candidate, sizeof(block));
        if (block.HeaderLength + sizeof(PERF_DATA_BLOCK) == back) return pointer - sizeof(PERF_DATA_BLOCK);
        break;
    }
    return pointer;
}

DWORD Nothing(LPDWORD totalBytes, LPDWORD numObjectTypes) {
    *totalBytes = 0;
    *numObjectTypes = 0;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

DWORD WINAPI OpenPerfData(LPWSTR /*deviceNames*/) { return ERROR_SUCCESS; }

DWORD WINAPI CollectPerfData(LPWSTR valueName, LPVOID* data, LPDWORD totalBytes, LPDWORD numObjectTypes) {
    if (data == nullptr || *data == nullptr || totalBytes == nullptr || numObjectTypes == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD available = *totalBytes;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return Nothing(totalBytes, numObjectTypes);
    }
    CountCollect(key);
    const std::vector<LONGLONG> values = ReadIdleTimes(key);
    ::RegCloseKey(key);
    if (values.empty() || !Wanted(valueName)) return Nothing(totalBytes, numObjectTypes);

    const std::vector<BYTE> object = BuildObject(values);
    if (object.size() > available) {
        *totalBytes = 0;
        *numObjectTypes = 0;
        return ERROR_MORE_DATA;
    }
    BYTE* at = ObjectPlace(static_cast<BYTE*>(*data));
    std::memcpy(at, object.data(), object.size());
    *data = at + object.size();
    *totalBytes = static_cast<DWORD>(object.size());
    *numObjectTypes = 1;
    return ERROR_SUCCESS;
}

DWORD WINAPI ClosePerfData() { return ERROR_SUCCESS; }

}  // extern "C"
