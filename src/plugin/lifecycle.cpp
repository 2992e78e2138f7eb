// Start-up, configuration and shutdown: the only place that wires the modules together.
#include "host/host.h"
#include "keys/keys.h"
#include "plugin/lifecycle.h"
#include "ui/ui.h"

namespace {

constexpr UINT kCtrlAlt = MOD_CONTROL | MOD_ALT;

}  // namespace

// No step's failure stops the next: a hotkey held by another program must not cost the
// multimedia keys, and the player has no use for an error.
int PluginInit()
{
    HWND player = PlayerWindow();
    RegisterHotKey(player, kHotkeyNext, kCtrlAlt, VK_NEXT);
    RegisterHotKey(player, kHotkeyPrevious, kCtrlAlt, VK_PRIOR);
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
    UnregisterHotKey(player, kHotkeyNext);
    UnregisterHotKey(player, kHotkeyPrevious);
    RemoveKeyboardHook();
    ForgetKeyboardHook();
    gState.notifyMessage = 0;   // a notification still queued reaches the player untouched
    LeavePlayerWindow();
}
