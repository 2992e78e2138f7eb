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
    // After an unload that kept us in this window's chain, we are still in it: subclassing
    // again would make us our own previous procedure.
    if (player == gState.chainedWindow)
        gState.previousPlayerProc = gState.chainedProc;
    else
        gState.previousPlayerProc = reinterpret_cast<WNDPROC>(
            SetWindowLongA(player, GWL_WNDPROC, reinterpret_cast<LONG>(HostWindowProc)));
    InitializeCriticalSection(&gState.lock);
    InstallKeyboardHook();
    return 0;
}

void PluginConfig()
{
    RunConfigSheet();
}

void PluginQuit()
{
    HWND player = PlayerWindow();
    UnregisterHotKey(player, kHotkeyNext);
    UnregisterHotKey(player, kHotkeyPrevious);
    RemoveKeyboardHook();
    DeleteCriticalSection(&gState.lock);
    // Released above. Forgotten, so that a load of a module that stayed mapped starts afresh and
    // a notification still queued reaches the player untouched.
    gState.hook = {};
    gState.notifyMessage = 0;
    // The player may unload us next while its window lives on: hand the window back its own
    // procedure, unless someone subclassed it after us, whose chain must stay whole, or the
    // player is inside a message that came through HostWindowProc, which it returns into.
    // (The depth is the user-interface thread's: the host calls every entry there.)
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongA(player, GWL_WNDPROC));
    bool leftTheChain = !current || (current == HostWindowProc && !gState.hostProcDepth);
    if (leftTheChain && player == gState.chainedWindow)
        gState.chainedWindow = nullptr;
    if (!current || !gState.previousPlayerProc)
        return;   // the window is gone, or we never got into its chain
    if (leftTheChain) {
        SetWindowLongA(player, GWL_WNDPROC, reinterpret_cast<LONG>(gState.previousPlayerProc));
        return;
    }
    // Still in the chain: keep our code mapped for good, and keep this window's procedure for
    // its messages, whichever window a later load subclasses.
    gState.chainedWindow = player;
    gState.chainedProc = gState.previousPlayerProc;
    HMODULE self;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(HostWindowProc), &self);
}
