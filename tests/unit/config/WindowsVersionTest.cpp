#include <gtest/gtest.h>

#include "config/WindowsVersion.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

struct VersionCase {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint8_t productType;
    int expected;
};

class VersionTable : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionTable, MapsTheReleaseToItsIndex) {
    const VersionCase& c = GetParam();
    sim::SimPlatform sim;
    sim.world.SetVersion(c.major, c.minor, c.productType);
    EXPECT_EQ(GetWindowsVersionIndex(sim.system), c.expected);
    EXPECT_EQ(sim.system.versionRecordSizes, std::vector<std::uint32_t>{284});
}

INSTANTIATE_TEST_SUITE_P(
    Releases, VersionTable,
    ::testing::Values(VersionCase{5, 0, 1, 0}, VersionCase{5, 0, 0, 0}, VersionCase{5, 1, 1, 1},
                      VersionCase{5, 1, 3, 1}, VersionCase{5, 2, 1, 1}, VersionCase{5, 2, 2, 2},
                      VersionCase{5, 2, 3, 2}, VersionCase{5, 2, 0, -1}, VersionCase{6, 0, 1, 3},
                      VersionCase{6, 0, 3, 4}, VersionCase{6, 1, 1, 5}, VersionCase{6, 1, 3, 4},
                      VersionCase{6, 1, 2, 4}, VersionCase{6, 1, 0, -1}, VersionCase{6, 2, 1, 6},
                      VersionCase{6, 3, 1, 6}, VersionCase{6, 2, 3, 7}, VersionCase{6, 3, 2, 7},
                      VersionCase{6, 4, 1, -1}, VersionCase{7, 0, 1, -1}, VersionCase{10, 0, 1, 8},
                      VersionCase{10, 7, 0, 8}, VersionCase{10, 0, 3, 8}, VersionCase{4, 0, 1, -1},
                      VersionCase{5, 3, 1, -1}, VersionCase{0, 0, 0, -1}));

TEST(WindowsVersion, FallsBackToTheBasicRecordWithoutProductType) {
    sim::SimPlatform sim;
    sim.world.extendedVersionFails = true;
    sim.world.SetVersion(5, 1, 1);
    EXPECT_EQ(GetWindowsVersionIndex(sim.system), 1);
    sim.world.SetVersion(6, 1, 1);  // needs the product type, which the basic record lacks
    EXPECT_EQ(GetWindowsVersionIndex(sim.system), -1);
    sim.world.SetVersion(10, 0, 1);
    EXPECT_EQ(GetWindowsVersionIndex(sim.system), 8);
    EXPECT_EQ(sim.system.versionRecordSizes, (std::vector<std::uint32_t>{284, 276, 284, 276, 284, 276}));
    sim.world.versionFails = true;
    EXPECT_EQ(GetWindowsVersionIndex(sim.system), -1);
}

TEST(CommonDataFolder, KnownFolderFromVistaOnAndTheTextIsReleased) {
    struct Case {
        Text reported;
        bool returnsNull;
        Text expected;
    };
    for (const Case& c : {Case{u"C:\\ProgramData", false, u"C:\\ProgramData\\"},
                          Case{u"D:\\", false, u"D:\\"}, Case{u"", true, u"\\"}}) {
        sim::SimPlatform sim;
        sim.world.SetVersion(6, 0, 1);
        sim.world.knownFolderPath = c.reported;
        sim.world.knownFolderReturnsNull = c.returnsNull;
        if (c.returnsNull) sim.world.knownFolderResult = static_cast<long>(0x80070002L);
        EXPECT_EQ(GetCommonDataFolder(sim.system, sim.shell), c.expected);
        EXPECT_EQ(sim.world.coTaskMemOutstanding, 0);
    }
}

TEST(CommonDataFolder, CsidlLookupBeforeVistaAndForUnknownReleases) {
    for (std::uint32_t major : {5u, 7u}) {
        sim::SimPlatform sim;
        sim.world.SetVersion(major, 1, 1);
        EXPECT_EQ(GetCommonDataFolder(sim.system, sim.shell),
                  u"C:\\Documents and Settings\\All Users\\Application Data\\");
        sim.world.folderPathResult = static_cast<long>(0x80004005L);
        EXPECT_EQ(GetCommonDataFolder(sim.system, sim.shell), u"");
    }
}

TEST(BlockListPath, LiesInTheDataFolderAndIsEmptyWithoutOne) {
    sim::SimPlatform sim;
    sim.world.SetVersion(6, 1, 1);
    EXPECT_EQ(BlockListPath(sim.system, sim.shell), u"C:\\ProgramData\\VELMOR\\Kestrix\\Kestrix.csv");
    sim.world.knownFolderReturnsNull = true;  // the folder would be a lone backslash
    EXPECT_EQ(BlockListPath(sim.system, sim.shell), u"");
    sim.world.SetVersion(5, 1, 1);
    sim.world.folderPathResult = static_cast<long>(0x80004005L);
    EXPECT_EQ(BlockListPath(sim.system, sim.shell), u"");
}

}  // namespace
}  // namespace kx
