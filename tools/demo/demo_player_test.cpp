// The demo's simulated player: what each command does to it, and that it is wired to the window.
#include <gtest/gtest.h>

#include <vector>

#include "demo_player.h"

namespace {

std::string StateOf(const DemoPlayer& demo)
{
    char text[64];
    FormatState(demo, text, sizeof text);
    return text;
}

DemoPlayer At(LRESULT playState, int track, LRESULT positionMs)
{
    DemoPlayer demo;
    demo.window.playState = playState;
    demo.track = track;
    demo.window.positionMs = positionMs;
    return demo;
}

}  // namespace

TEST(DemoPlayer, PlayRestartsAPlayingTrackResumesAPausedOneAndStartsAStoppedOne)
{
    DemoPlayer playing = At(1, 1, 12000), paused = At(3, 1, 30000), stopped = At(0, 1, 0);
    for (DemoPlayer* demo : {&playing, &paused, &stopped})
        EXPECT_TRUE(ApplyCommand(*demo, 40045));
    EXPECT_EQ(StateOf(playing), "playing 2/5 0:00 vol 60%");
    EXPECT_EQ(StateOf(paused), "playing 2/5 0:30 vol 60%");
    EXPECT_EQ(StateOf(stopped), "playing 2/5 0:00 vol 60%");
}

TEST(DemoPlayer, PauseTogglesOnlyWhatPlaysAndStopRewinds)
{
    DemoPlayer demo = At(1, 0, 65000);
    ApplyCommand(demo, 40046);
    EXPECT_EQ(StateOf(demo), "paused 1/5 1:05 vol 60%");
    ApplyCommand(demo, 40046);
    EXPECT_EQ(StateOf(demo), "playing 1/5 1:05 vol 60%");
    ApplyCommand(demo, 40047);
    ApplyCommand(demo, 40046);
    EXPECT_EQ(StateOf(demo), "stopped 1/5 0:00 vol 60%");
}

TEST(DemoPlayer, TrackChangesWrapAroundThePlaylistAndKeepThePlayState)
{
    DemoPlayer demo = At(3, 4, 9000);
    ApplyCommand(demo, 40048);
    EXPECT_EQ(StateOf(demo), "paused 1/5 0:00 vol 60%");
    ApplyCommand(demo, 40044);
    ApplyCommand(demo, 40044);
    EXPECT_EQ(StateOf(demo), "paused 4/5 0:00 vol 60%");
}

TEST(DemoPlayer, VolumeMovesByFourOnTheFullScaleAndStaysWithinIt)
{
    DemoPlayer demo;
    ApplyCommand(demo, 40058);
    EXPECT_EQ(StateOf(demo), "stopped 1/5 0:00 vol 62%");   // 157 of 255
    ApplyCommand(demo, 40059);
    ApplyCommand(demo, 40059);
    EXPECT_EQ(StateOf(demo), "stopped 1/5 0:00 vol 58%");   // 149
    for (int i = 0; i < 30; ++i)
        ApplyCommand(demo, 40058);
    EXPECT_EQ(StateOf(demo), "stopped 1/5 0:00 vol 100%");
    for (int i = 0; i < 70; ++i)
        ApplyCommand(demo, 40059);
    EXPECT_EQ(StateOf(demo), "stopped 1/5 0:00 vol 0%");
}

TEST(DemoPlayer, ClockMovesOnOnlyWhilePlayingAndAnEndedTrackGoesToTheNext)
{
    DemoPlayer demo = At(3, 0, 1000);
    AdvanceClock(demo, 5000);
    EXPECT_EQ(StateOf(demo), "paused 1/5 0:01 vol 60%");
    demo.window.playState = 1;
    AdvanceClock(demo, kTrackLengthMs - 1000);
    EXPECT_EQ(StateOf(demo), "playing 2/5 0:00 vol 60%");
}

TEST(DemoPlayer, WindowCommandsReachThePlayerAndOtherIdsReachTheButtons)
{
    static std::vector<UINT> buttons;
    buttons.clear();
    DemoPlayer demo = At(1, 2, 4000);
    AttachDemoPlayer(demo);
    demo.onOtherCommand = [](DemoPlayer&, UINT id) { buttons.push_back(id); };
    ASSERT_TRUE(CreatePlayerWindow(demo.window));
    SendMessageA(demo.window.window, WM_COMMAND, 40046, 0);
    SendMessageA(demo.window.window, WM_COMMAND, 1000, 0);
    EXPECT_EQ(SendMessageA(demo.window.window, WM_USER, 0, 104), 3);
    EXPECT_EQ(SendMessageA(demo.window.window, WM_USER, 0, 105), 4000);
    EXPECT_EQ(demo.lastCommand, 40046u);
    EXPECT_EQ(buttons, std::vector<UINT>{1000});
    // The player's title for the new track, whole in its own script.
    SendMessageA(demo.window.window, WM_COMMAND, 40048, 0);
    EXPECT_EQ(WindowText(demo.window.window), std::wstring(L"4. ") + TrackTitle(3) + L" - Winamp");
    EXPECT_EQ(demo.window.caption, demo.title);
    DestroyPlayerWindow(demo.window);
}

TEST(DemoPlayer, CommandNamesShowTheIdAndUnknownIdsChangeNothing)
{
    char text[64];
    FormatCommand(40059, text, sizeof text);
    EXPECT_STREQ(text, "volume down (40059)");
    FormatCommand(40050, text, sizeof text);
    EXPECT_STREQ(text, "unknown (40050)");
    DemoPlayer demo = At(1, 0, 2000);
    EXPECT_FALSE(ApplyCommand(demo, 40050));
    EXPECT_EQ(StateOf(demo), "playing 1/5 0:02 vol 60%");
    EXPECT_EQ(demo.lastCommand, 0u);
}
