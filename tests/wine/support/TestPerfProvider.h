// The test performance provider, kxtestperf.dll (tests/standins/testperfprovider),
// registered the Windows way so that a query of HKEY_PERFORMANCE_DATA for
// "238" in any process of the prefix gets a processor object with the idle
// times the test chooses:
//
//   HKLM\System\CurrentControlSet\Services\KxTestPerf\Performance
//     Library "<bin folder>\kxtestperf.dll", Open "OpenPerfData",
//     Collect "CollectPerfData", Close "ClosePerfData", Object List "238"
//
// The provider reads its figures afresh on every Collect and counts the calls,
// so a test can change the figures between two samples and see how often a
// program asked.
#pragma once

#include <windows.h>

#include <vector>

namespace kxtest {

// The provider's service key and the one it takes its figures from, below
// HKEY_LOCAL_MACHINE.
extern const wchar_t kTestPerfServiceKey[];     // L"System\\CurrentControlSet\\Services\\KxTestPerf"
extern const wchar_t kTestPerfParametersKey[];  // kTestPerfServiceKey + L"\\Parameters"

// Registers BinFolder() + "kxtestperf.dll" and clears its figures and its
// count. False when the registry refuses or the library is not there.
bool RegisterTestPerfProvider();
// Removes the provider's keys; true also when they did not exist.
bool UnregisterTestPerfProvider();

// The idle times (100-nanosecond units) the next Collect publishes, one per
// instance in instance order, the total last. Empty: no object at all.
bool SetTestPerfIdleTimes(const std::vector<LONGLONG>& idleTimes);
// One idle time per processor of this machine and the total after them (the
// average), the processor `leastUsed` given the most idle time by far.
std::vector<LONGLONG> IdleTimesFavouring(DWORD processors, DWORD leastUsed, LONGLONG base);

// How many times Collect has been called since the provider was registered.
DWORD TestPerfCollectCount();

}  // namespace kxtest
