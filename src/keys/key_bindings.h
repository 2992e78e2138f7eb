// What each multimedia key and each hotkey means: its setting or combination, and the command
// it becomes.
#pragma once

#include <array>

#include "host/host.h"

struct KeyBinding {
    UINT vk;
    int KeyFlags::*flag;
    UINT command;   // Previous Track and Play/Pause are refined by the play state
};

inline constexpr std::array<KeyBinding, 6> kKeyBindings{{
    {VK_VOLUME_DOWN, &KeyFlags::Key_VolDown, kCmdVolumeDown},
    {VK_VOLUME_UP, &KeyFlags::Key_VolUp, kCmdVolumeUp},
    {VK_MEDIA_NEXT_TRACK, &KeyFlags::Key_Next, kCmdNextTrack},
    {VK_MEDIA_PREV_TRACK, &KeyFlags::Key_Prev, kCmdPrevTrack},
    {VK_MEDIA_STOP, &KeyFlags::Key_Stop, kCmdStop},
    {VK_MEDIA_PLAY_PAUSE, &KeyFlags::Key_Play, kCmdPlay},
}};

// The six codes are contiguous, so a lookup is one subtraction and one compare.
inline constexpr const KeyBinding* FindBinding(UINT vk)
{
    UINT index = vk - VK_VOLUME_DOWN;
    return index < kKeyBindings.size() ? &kKeyBindings[index] : nullptr;
}

static_assert(VK_VOLUME_DOWN == 174 && VK_MEDIA_PLAY_PAUSE == 179);
static_assert(FindBinding(173) == nullptr && FindBinding(180) == nullptr);
static_assert(FindBinding(VK_MEDIA_STOP)->command == kCmdStop);
static_assert(FindBinding(VK_VOLUME_UP)->flag == &KeyFlags::Key_VolUp);
static_assert(FindBinding(VK_MEDIA_PLAY_PAUSE)->flag == &KeyFlags::Key_Play);

struct HotkeyBinding {
    int id;
    UINT modifiers;
    UINT vk;
    UINT command;
};

inline constexpr std::array<HotkeyBinding, 2> kHotkeyBindings{{
    {kHotkeyNext, MOD_CONTROL | MOD_ALT, VK_NEXT, kCmdNextTrack},
    {kHotkeyPrevious, MOD_CONTROL | MOD_ALT, VK_PRIOR, kCmdPrevTrack},
}};
