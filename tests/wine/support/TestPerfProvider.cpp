#include "TestPerfProvider.h"

#include "WineTestSupport.h"

namespace kxtest {

const wchar_t kTestPerfServiceKey[] = L"System\\CurrentControlSet\\Services\\KxTestPerf";
const wchar_t kTestPerfParametersKey[] = L"System\\CurrentControlSet\\Services\\KxTestPerf\\Parameters";

namespace {

const std::wstring kPerformanceKey = std::wstring(kTestPerfServiceKey) + L"\\Performance";

}  // namespace

bool RegisterTestPerfProvider() {
    const std::wstring library = BinFolder() + L"kxtestperf.dll";
    if (::GetFileAttributesW(library.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    if (!UnregisterTestPerfProvider()) return false;
    return SetDwordValue(L"CollectCount", 0, kTestPerfParametersKey) &&
           SetStringValue(L"Library", library, kPerformanceKey) &&
           SetStringValue(L"Open", L"OpenPerfData", kPerformanceKey) &&
           SetStringValue(L"Collect", L"CollectPerfData", kPerformanceKey) &&
           SetStringValue(L"Close", L"ClosePerfData", kPerformanceKey) &&
           SetStringValue(L"Object List", L"238", kPerformanceKey);
}

bool UnregisterTestPerfProvider() { return DeleteKeyTree(kTestPerfServiceKey); }

bool SetTestPerfIdleTimes(const std::vector<LONGLONG>& idleTimes) {
    const auto* first = reinterpret_cast<const BYTE*>(idleTimes.data());
    return SetRawValue(L"IdleTimes", REG_BINARY,
                       std::vector<BYTE>(first, first + idleTimes.size() * sizeof(LONGLONG)),
                       kTestPerfParametersKey);
}

std::vector<LONGLONG> IdleTimesFavouring(DWORD processors, DWORD leastUsed, LONGLONG base) {
    std::vector<LONGLONG> times(processors + 1, base);
    // Ten hours more idle time than any other processor: the least used on
    // a first sample and over any interval shorter than that.
    constexpr LONGLONG kTenHours = 10LL * 3600 * 10000000;
    if (leastUsed < processors) times[leastUsed] += kTenHours;
    LONGLONG sum = 0;
    for (DWORD i = 0; i < processors; ++i) sum += times[i];
    times[processors] = processors == 0 ? base : sum / processors;
    return times;
}

DWORD TestPerfCollectCount() { return ReadDwordValue(L"CollectCount", kTestPerfParametersKey).value_or(0); }

}  // namespace kxtest
