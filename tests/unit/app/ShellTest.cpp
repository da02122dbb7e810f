#include <gtest/gtest.h>

#include "app/Shell.h"
#include "sim/SimPlatform.h"

namespace kx {
namespace {

using sim::HandleKind;

constexpr Hwnd kAppWindow = 0x30000;

class LaunchOperations : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    Shell shell{sim.shell, sim.windows, sim.libraries, sim.processes, kAppWindow};

    void InstallHelpViewer() { sim.world.libraries[u"HHCTRL.OCX"].entries = {"HtmlHelpW"}; }
};

TEST_F(LaunchOperations, ProgramFolderEndsAtTheLastBackslash) {
    EXPECT_EQ(shell.ProgramFolder(), u"C:\\Program Files\\VELMOR\\Kestrix\\");
    sim.world.ownModuleFileName = u"\\\\server\\share\\KestrixTray.exe";
    EXPECT_EQ(shell.ProgramFolder(), u"\\\\server\\share\\");
    sim.world.ownModuleFileName = u"";
    EXPECT_EQ(shell.ProgramFolder(), u"");
}

TEST_F(LaunchOperations, OpenAndOpenDetachedDifferOnlyInTheOwner) {
    shell.ShellOpen(u"C:\\K\\Kestrix.exe", u"");
    shell.ShellOpenDetached(u"C:\\K\\KestrixUpdate.exe", u"--quiet");
    ASSERT_EQ(sim.world.shellExecuteCalls.size(), 2u);
    const auto& open = sim.world.shellExecuteCalls[0];
    EXPECT_EQ(open.owner, kAppWindow);
    EXPECT_TRUE(open.hasVerb);
    EXPECT_EQ(open.verb, u"open");
    EXPECT_EQ(open.file, u"C:\\K\\Kestrix.exe");
    EXPECT_TRUE(open.hasParameters);
    EXPECT_EQ(open.parameters, u"");
    EXPECT_FALSE(open.hasDirectory);
    EXPECT_EQ(open.showCommand, 5);

    const auto& detached = sim.world.shellExecuteCalls[1];
    EXPECT_EQ(detached.owner, 0u);
    EXPECT_EQ(detached.verb, u"open");
    EXPECT_EQ(detached.file, u"C:\\K\\KestrixUpdate.exe");
    EXPECT_EQ(detached.parameters, u"--quiet");
    EXPECT_FALSE(detached.hasDirectory);
    EXPECT_EQ(detached.showCommand, 5);
}

TEST_F(LaunchOperations, HelpAsksForTheTopicInTheHelpWindowWithTheDesktopAsCaller) {
    InstallHelpViewer();
    shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    ASSERT_EQ(sim.world.htmlHelpCalls.size(), 1u);
    const auto& call = sim.world.htmlHelpCalls[0];
    EXPECT_EQ(call.caller, sim.world.desktop);
    EXPECT_EQ(call.file, u"C:\\Program Files\\VELMOR\\Kestrix\\Kestrix.chm::/html/main.htm>HelpWindow");
    EXPECT_EQ(call.command, 0u);  // HH_DISPLAY_TOPIC
    EXPECT_EQ(call.data, 0u);
}

TEST_F(LaunchOperations, TheHelpLibraryIsLoadedOnceFromItsNameAndKeptForTheRun) {
    InstallHelpViewer();
    shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    EXPECT_EQ(sim.world.htmlHelpCalls.size(), 2u);
    EXPECT_EQ(sim.world.libraryLoads, std::vector<Text>{u"hhctrl.ocx"});
    EXPECT_EQ(sim.world.handles.OpenCount(HandleKind::Library), 1u);
}

TEST(LaunchOperationsLifetime, TheHelpLibraryIsReleasedWithTheLauncher) {
    sim::SimPlatform sim;
    sim.world.libraries[u"HHCTRL.OCX"].entries = {"HtmlHelpW"};
    {
        Shell shell(sim.shell, sim.windows, sim.libraries, sim.processes, kAppWindow);
        shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    }
    EXPECT_EQ(sim.world.handles.OpenCount(), 0u);
    EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
}

TEST_F(LaunchOperations, HelpWithoutTheViewerShowsNothingAndTriesAgainNextTime) {
    sim.world.libraries.erase(u"HHCTRL.OCX");
    shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    EXPECT_TRUE(sim.world.htmlHelpCalls.empty());

    InstallHelpViewer();
    shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm");
    EXPECT_EQ(sim.world.htmlHelpCalls.size(), 1u);
}

TEST_F(LaunchOperations, HelpFromALibraryWithoutTheEntryShowsNothing) {
    sim.world.libraries[u"HHCTRL.OCX"].entries = {};
    EXPECT_NO_THROW(shell.ShowHelpTopic(u"Kestrix.chm", u"/html/main.htm"));
    EXPECT_TRUE(sim.world.htmlHelpCalls.empty());
}

}  // namespace
}  // namespace kx
