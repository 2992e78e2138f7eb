// Hotkeys and key notifications on the player window become player commands.
#include "keys/key_bindings.h"
#include "keys/keys.h"

namespace {

// Previous Track this far into a playing track restarts it instead.
constexpr LRESULT kRestartThresholdMs = 2000;

constexpr UINT kNoCommand = 0;

// positionMs is only looked at for Previous Track while something is playing or paused.
[[nodiscard]] bool NeedsPosition(UINT vk, LRESULT playState)
{
    return vk == VK_MEDIA_PREV_TRACK && playState != 0;
}

// kNoCommand outside 174..179.
[[nodiscard]] UINT CommandForKey(UINT vk, LRESULT playState, LRESULT positionMs)
{
    const KeyBinding* binding = FindBinding(vk);
    if (!binding)
        return kNoCommand;
    if (vk == VK_MEDIA_PLAY_PAUSE)
        return playState == kPlayStatePlaying ? kCmdPause : kCmdPlay;
    if (NeedsPosition(vk, playState) && playState != kPlayStatePaused &&
        positionMs > kRestartThresholdMs)
        return kCmdPlay;
    return binding->command;
}

void SendCommand(HWND hwnd, UINT command)
{
    SendMessageA(hwnd, WM_COMMAND, command, 0);
}

// Only a hotkey this copy holds: another copy of ours on the window acts on its own.
void OnHotkey(HWND hwnd, WPARAM id)
{
    for (UINT i = 0; i < kHotkeyBindings.size(); ++i)
        if (kHotkeyBindings[i].id == LOWORD(id) && gState.heldHotkeys & (1u << i))
            SendCommand(hwnd, kHotkeyBindings[i].command);
}

void OnKeyNotification(HWND hwnd, LPARAM vk)
{
    LRESULT playState = SendMessageA(hwnd, WM_USER, 0, kQueryPlayState);
    LRESULT positionMs = 0;
    if (NeedsPosition(static_cast<UINT>(vk), playState))
        positionMs = SendMessageA(hwnd, WM_USER, 0, kQueryPositionMs);
    UINT command = CommandForKey(static_cast<UINT>(vk), playState, positionMs);
    if (command != kNoCommand)
        SendCommand(hwnd, command);
}

}  // namespace

bool OnHostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_HOTKEY)
        OnHotkey(hwnd, wp);   // and the player still sees the hotkey itself
    // A failed registration leaves the id 0, which must not capture WM_NULL.
    if (msg != gState.notifyMessage || msg == 0)
        return false;
    OnKeyNotification(hwnd, lp);   // never passed on: the player has no use for it
    return true;
}
