// Start-up, configuration and shutdown: the only place that wires the modules together.
#include "host/host.h"
#include "keys/key_bindings.h"
#include "keys/keys.h"
#include "plugin/lifecycle.h"
#include "ui/ui.h"

// No step's failure stops the next: a hotkey held by another program must not cost the
// multimedia keys, and the player has no use for an error.
int PluginInit()
{
    HWND player = PlayerWindow();
    // Held elsewhere (another copy of ours on this window, too), a hotkey is not ours to act on.
    for (UINT i = 0; i < kHotkeyBindings.size(); ++i) {
        const HotkeyBinding& hotkey = kHotkeyBindings[i];
        if (RegisterHotKey(player, hotkey.id, hotkey.modifiers, hotkey.vk))
            gState.heldHotkeys |= 1u << i;
    }
    LoadKeyFlags();
    gState.notifyMessage = RegisterWindowMessageA(kNotifyMessageName);
    EnterPlayerWindow(player);
    CreateHookLock();
    InstallKeyboardHook();
    return 0;
}

void PluginConfig()
{
    RunConfigSheet();
}

// Called on the player's thread, like every entry; after it nothing of ours runs unless the
// player window's chain still needs our code, which then stays mapped.
void PluginQuit()
{
    HWND player = PlayerWindow();
    // A registration is the window's and the id's: one we did not get is another copy's.
    for (UINT i = 0; i < kHotkeyBindings.size(); ++i)
        if (gState.heldHotkeys & (1u << i))
            UnregisterHotKey(player, kHotkeyBindings[i].id);
    gState.heldHotkeys = 0;
    RemoveKeyboardHook();
    ForgetKeyboardHook();
    gState.notifyMessage = 0;   // a notification still queued reaches the player untouched
    LeavePlayerWindow();
}
