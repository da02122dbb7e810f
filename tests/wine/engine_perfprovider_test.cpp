// wine-test: version=win10 desktop=no timeout=120
// The program's sampler against a real implementation of the performance
// data: the test provider kxtestperf.dll, registered the Windows way, is
// loaded by the platform's HKEY_PERFORMANCE_DATA query, and the sampler reads
// back the processor object with exactly the idle times the test wrote.
#include <gtest/gtest.h>

#include <vector>

#include "TestPerfProvider.h"
#include "WineTestSupport.h"
#include "engine/IdealProcessor.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Windows.h"

namespace {

class EnginePerfProvider : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kxtest::RegisterTestPerfProvider()) << "kxtestperf.dll not registered"; }
    void TearDown() override { kxtest::UnregisterTestPerfProvider(); }

    kx::Win32Registry registry;
    kx::Win32Windows windows;
    kx::Win32Processes processes;
    kx::Win32System system;
    kx::Win32Libraries libraries;
    kx::IdealProcessorApi api{registry, system, windows, processes, libraries};
};

TEST_F(EnginePerfProvider, TheSamplerReadsTheIdleTimesTheProviderPublishes) {
    // Three processors and the total, with values that need all 64 bits.
    const std::vector<LONGLONG> first = {0x100000001LL, 5, 0x7FFFFFFF00000000LL, 7};
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(first));
    kx::ProcessorSampler sampler(api);
    sampler.SampleProcessorTimes();
    ASSERT_EQ(sampler.InstanceCount(), 4) << "no processor object came back from the provider";
    EXPECT_EQ(sampler.CurrentValues(), std::vector<std::int64_t>(first.begin(), first.end()));
    EXPECT_NE(sampler.CurrentSampleTime(), 0);
    const DWORD collects = kxtest::TestPerfCollectCount();
    EXPECT_GE(collects, 1u);

    // The figures are read afresh at each Collect; the count fixed by the
    // first sample stays even when the provider later publishes more.
    const std::vector<LONGLONG> second = {10, 20, 30, 40, 50};
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(second));
    ::Sleep(20);  // a later block time than the first sample's
    sampler.SampleProcessorTimes();
    EXPECT_EQ(sampler.InstanceCount(), 4);
    EXPECT_EQ(sampler.PreviousValues(), std::vector<std::int64_t>(first.begin(), first.end()));
    EXPECT_EQ(sampler.CurrentValues(), (std::vector<std::int64_t>{10, 20, 30, 40}));
    EXPECT_GT(kxtest::TestPerfCollectCount(), collects);
}

TEST_F(EnginePerfProvider, TheProcessorTheTestMadeLeastUsedHasTheLowestUsage) {
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes(kxtest::IdleTimesFavouring(3, 1, 1000)));
    kx::ProcessorSampler sampler(api);
    sampler.SampleProcessorTimes();
    ASSERT_EQ(sampler.InstanceCount(), 4);
    // The first sample compares against the time since 1601: the most idle time wins.
    EXPECT_LT(sampler.ProcessorUsage(1), sampler.ProcessorUsage(0));
    EXPECT_LT(sampler.ProcessorUsage(1), sampler.ProcessorUsage(2));
}

TEST_F(EnginePerfProvider, WithoutFiguresThereIsNoProcessorObject) {
    ASSERT_TRUE(kxtest::SetTestPerfIdleTimes({}));
    kx::ProcessorSampler sampler(api);
    sampler.SampleProcessorTimes();
    EXPECT_EQ(sampler.InstanceCount(), -1);
    EXPECT_GE(kxtest::TestPerfCollectCount(), 1u) << "the provider was not called";
}

}  // namespace
