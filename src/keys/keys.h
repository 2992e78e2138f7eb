// Key capture (the low-level keyboard hook) and the player window's dispatch procedure.
#pragma once

#include "host/host.h"

void CreateHookLock();       // before the first install
int InstallKeyboardHook();   // 1 when installed now; 0 when one was there or it failed
int RemoveKeyboardHook();    // 1 when there was no hook (any more), else the unhook result
void ForgetKeyboardHook();   // after the last removal: the lock goes, the state starts afresh
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM msg, LPARAM event);

enum class KeyAnswer { kPassOn, kTellAndSwallow, kSwallow };
// What the hook does with one event of a key this player answers (any other key goes on):
// canTell that a player window can be told of a key-down, swallowedDown that this hook swallowed
// the key-down of this press.
[[nodiscard]] KeyAnswer DecideKey(WPARAM msg, bool canTell, bool swallowedDown);

// Our window procedure in front of the player's own, and out again where that is safe.
void EnterPlayerWindow(HWND player);
void LeavePlayerWindow();

// The hotkey and key-notification messages become player commands; true when the message was
// one of ours and must not go on to the player.
bool OnHostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
