// Key capture (the low-level keyboard hook) and the player window's dispatch procedure.
#pragma once

#include "host/host.h"

inline constexpr DWORD kSharedMappingSize = 64;

void CreateHookLock();       // before the first install
int InstallKeyboardHook();   // 1 when installed now; 0 when one was there or it failed
int RemoveKeyboardHook();    // 1 when there was no hook (any more), else the unhook result
void ForgetKeyboardHook();   // after the last removal: the lock goes, the state starts afresh
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM msg, LPARAM event);
[[nodiscard]] int FlagOfKey(UINT vk);

// HostWindowProc in front of the player's own procedure, and out again where that is safe.
void EnterPlayerWindow(HWND player);
void LeavePlayerWindow();
LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The hotkey and key-notification messages become player commands; true when the message was
// one of ours and must not go on to the player.
bool OnHostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

inline constexpr UINT kNoCommand = 0;
// The command for a multimedia key, given the player's answers; kNoCommand outside 174..179.
// positionMs is only looked at for Previous Track while something is playing or paused.
[[nodiscard]] UINT CommandForKey(UINT vk, LRESULT playState, LRESULT positionMs);
[[nodiscard]] bool NeedsPosition(UINT vk, LRESULT playState);
