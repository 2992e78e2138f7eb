// The demo's simulated player: a playlist, a play state, a position and a volume, kept in the
// player double's window so the plug-in's queries see them and its commands change them.
#pragma once

#include <string>

#include "player_double.h"

struct DemoPlayer {
    PlayerDouble window;      // its playState and positionMs answer the plug-in's queries
    int track = 0;            // index into the playlist
    int volume = 153;         // 0..255 as the player's, shown in percent: 60%
    std::wstring title;       // the window title as last set, "2. Title - Winamp", as the player's
    UINT lastCommand = 0;     // last command the player understood; 0 before the first
    // Called after every command the player understood (the interactive window redraws here).
    void (*onChange)(DemoPlayer& demo) = nullptr;
    // Called for WM_COMMAND ids that are not player commands (the window's own buttons).
    void (*onOtherCommand)(DemoPlayer& demo, UINT id) = nullptr;
};

inline constexpr int kPlaylistLength = 5;
inline constexpr LRESULT kTrackLengthMs = 180000;
inline constexpr int kVolumeMax = 255;
inline constexpr int kVolumeStep = 4;   // the player's own step for volume up and down

// Points the window's onCommand at the player; call before CreatePlayerWindow.
void AttachDemoPlayer(DemoPlayer& demo);
// Carries out one player command; false for an id the player does not know.
bool ApplyCommand(DemoPlayer& demo, UINT command);
// Lets simulated time pass; a track that ends moves on to the next.
void AdvanceClock(DemoPlayer& demo, LRESULT elapsedMs);
// Moves to a track (wrapping round the playlist), from its start, and sets the window title.
void GoToTrack(DemoPlayer& demo, int track);

// "playing 2/5 0:12 vol 60%"
void FormatState(const DemoPlayer& demo, char* text, int size);
// "next (40048)", or "unknown (12345)"
void FormatCommand(UINT command, char* text, int size);
const wchar_t* TrackTitle(int track);   // titles in several scripts
