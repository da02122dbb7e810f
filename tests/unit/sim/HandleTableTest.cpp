#include <gtest/gtest.h>

#include "sim/SimPlatform.h"

namespace kx::sim {
namespace {

TEST(HandleTable, CountsOpenHandlesAndBadCloses) {
    HandleTable table;
    KHandle key = table.Open(HandleKind::Key, 0);
    KHandle icon = table.Open(HandleKind::Icon, 0);
    EXPECT_EQ(table.OpenCount(), 2u);
    EXPECT_FALSE(table.Close(key, HandleKind::Icon));  // wrong kind
    EXPECT_TRUE(table.Close(key, HandleKind::Key));
    EXPECT_FALSE(table.Close(key, HandleKind::Key));  // twice
    EXPECT_EQ(table.BadCloses(), 2u);
    EXPECT_EQ(table.OpenCount(HandleKind::Icon), 1u);
    EXPECT_TRUE(table.Close(icon, HandleKind::Icon));
    EXPECT_EQ(table.OpenCount(), 0u);
}

TEST(SimLibraries, EntryPointDiesWithItsLibrary) {
    SimPlatform sim;
    KHandle lib = sim.libraries.LoadLibraryW(u"psapi.dll");
    ASSERT_NE(lib, 0u);
    ProcAddress entry = sim.libraries.GetProcAddress(lib, "GetProcessImageFileNameW");
    EXPECT_TRUE(SimLibraries::IsLiveEntry(sim.world, entry, u"PSAPI.DLL", "GetProcessImageFileNameW"));
    EXPECT_EQ(sim.libraries.GetProcAddress(lib, "Missing"), 0u);
    sim.libraries.FreeLibrary(lib);
    EXPECT_FALSE(SimLibraries::IsLiveEntry(sim.world, entry, u"PSAPI.DLL", "GetProcessImageFileNameW"));
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
}

}  // namespace
}  // namespace kx::sim
