// Key capture (the low-level keyboard hook) and the player window's dispatch procedure.
#pragma once

#include "host/host.h"

inline constexpr DWORD kSharedMappingSize = 64;

int InstallKeyboardHook();   // 1 when installed now; 0 when one was there or it failed
int RemoveKeyboardHook();    // 1 when there was no hook, else the unhook result
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM msg, LPARAM event);
[[nodiscard]] int FlagOfKey(UINT vk);

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

inline constexpr UINT kNoCommand = 0;
// The command for a multimedia key, given the player's answers; kNoCommand outside 174..179.
// positionMs is only looked at for Previous Track while something is playing or paused.
[[nodiscard]] UINT CommandForKey(UINT vk, LRESULT playState, LRESULT positionMs);
[[nodiscard]] bool NeedsPosition(UINT vk, LRESULT playState);
