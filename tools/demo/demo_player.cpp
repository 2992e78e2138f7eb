// The simulated player behind the demo window.
#include "demo_player.h"

#include <array>
#include <cstdio>

namespace {

struct CommandName {
    UINT command;
    const char* name;
};

constexpr std::array<CommandName, 7> kCommandNames{{
    {kCmdPrevTrack, "previous"},
    {kCmdPlay, "play"},
    {kCmdPause, "pause"},
    {kCmdStop, "stop"},
    {kCmdNextTrack, "next"},
    {kCmdVolumeUp, "volume up"},
    {kCmdVolumeDown, "volume down"},
}};

// Japanese, Thai, Hebrew, Greek and French, as a real playlist mixes them.
constexpr std::array<const wchar_t*, kPlaylistLength> kTitles{{
    L"港の灯り", L"คลื่นช้า", L"צפונה", L"Χάρτινα φεγγάρια", L"Dernière traversée",
}};

const char* StateName(LRESULT playState)
{
    switch (playState) {
    case kPlayStatePlaying: return "playing";
    case kPlayStatePaused:  return "paused";
    default:                return "stopped";
    }
}

// Play restarts a playing track (the plug-in relies on that for Previous Track) and resumes a
// paused one, which is what someone pressing Play/Pause on a paused track expects.
void Play(DemoPlayer& demo)
{
    if (demo.window.playState != kPlayStatePaused)
        demo.window.positionMs = 0;
    demo.window.playState = kPlayStatePlaying;
}

void TogglePause(DemoPlayer& demo)
{
    if (demo.window.playState == kPlayStatePlaying)
        demo.window.playState = kPlayStatePaused;
    else if (demo.window.playState == kPlayStatePaused)
        demo.window.playState = kPlayStatePlaying;
}

void ChangeVolume(DemoPlayer& demo, int delta)
{
    int volume = demo.volume + delta;
    demo.volume = volume < 0 ? 0 : volume > kVolumeMax ? kVolumeMax : volume;
}

bool Carry(DemoPlayer& demo, UINT command)
{
    switch (command) {
    case kCmdPrevTrack:   GoToTrack(demo, demo.track - 1); return true;
    case kCmdPlay:        Play(demo); return true;
    case kCmdPause:       TogglePause(demo); return true;
    case kCmdStop:        demo.window.playState = 0; demo.window.positionMs = 0; return true;
    case kCmdNextTrack:   GoToTrack(demo, demo.track + 1); return true;
    case kCmdVolumeUp:    ChangeVolume(demo, kVolumeStep); return true;
    case kCmdVolumeDown:  ChangeVolume(demo, -kVolumeStep); return true;
    }
    return false;
}

void OnCommand(PlayerDouble& window, UINT command)
{
    auto* demo = static_cast<DemoPlayer*>(window.context);
    if (!ApplyCommand(*demo, command) && demo->onOtherCommand)
        demo->onOtherCommand(*demo, command);
}

}  // namespace

// Changing track keeps playing or paused as it was, from the start of the new track. The title
// goes through SetWindowTextW, as the player sets it.
void GoToTrack(DemoPlayer& demo, int track)
{
    demo.track = (track + kPlaylistLength) % kPlaylistLength;
    demo.window.positionMs = 0;
    demo.title = std::to_wstring(demo.track + 1) + L". " + kTitles[demo.track] + L" - Winamp";
    if (demo.window.window)
        SetWindowTextW(demo.window.window, demo.title.c_str());
}

void AttachDemoPlayer(DemoPlayer& demo)
{
    demo.window.onCommand = OnCommand;
    demo.window.context = &demo;
}

bool ApplyCommand(DemoPlayer& demo, UINT command)
{
    if (!Carry(demo, command))
        return false;
    demo.lastCommand = command;
    if (demo.onChange)
        demo.onChange(demo);
    return true;
}

void AdvanceClock(DemoPlayer& demo, LRESULT elapsedMs)
{
    if (demo.window.playState != kPlayStatePlaying || elapsedMs <= 0)
        return;
    demo.window.positionMs += elapsedMs;
    if (demo.window.positionMs >= kTrackLengthMs)
        GoToTrack(demo, demo.track + 1);
    if (demo.onChange)
        demo.onChange(demo);
}

void FormatState(const DemoPlayer& demo, char* text, int size)
{
    LRESULT seconds = demo.window.positionMs / 1000;
    std::snprintf(text, size, "%s %d/%d %ld:%02ld vol %d%%", StateName(demo.window.playState),
                  demo.track + 1, kPlaylistLength, static_cast<long>(seconds / 60),
                  static_cast<long>(seconds % 60),
                  (demo.volume * 100 + kVolumeMax / 2) / kVolumeMax);
}

void FormatCommand(UINT command, char* text, int size)
{
    const char* name = "unknown";
    for (const CommandName& known : kCommandNames)
        if (known.command == command)
            name = known.name;
    std::snprintf(text, size, "%s (%u)", name, command);
}

const wchar_t* TrackTitle(int track)
{
    return track >= 0 && track < kPlaylistLength ? kTitles[track] : L"";
}
