// HostWindowProc's place in the player window's procedure chain: entered at init, left at quit.
// The player's window is a Unicode window, and a window subclassed through the ANSI calls turns
// ANSI, so its song titles would pass through the code page as '?'. Every call that sets, calls
// or compares its procedure therefore uses the window's own character set, decided here alone.
#include "keys/keys.h"

namespace {

WNDPROC ProcOf(HWND window, int unicode)
{
    LONG proc = unicode ? GetWindowLongW(window, GWL_WNDPROC) : GetWindowLongA(window, GWL_WNDPROC);
    return reinterpret_cast<WNDPROC>(proc);
}

WNDPROC SetProc(HWND window, int unicode, WNDPROC proc)
{
    LONG value = reinterpret_cast<LONG>(proc);
    LONG previous = unicode ? SetWindowLongW(window, GWL_WNDPROC, value)
                            : SetWindowLongA(window, GWL_WNDPROC, value);
    return reinterpret_cast<WNDPROC>(previous);
}

LRESULT CallPrevious(const Subclass& subclass, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return subclass.unicode ? CallWindowProcW(subclass.previous, hwnd, msg, wp, lp)
                            : CallWindowProcA(subclass.previous, hwnd, msg, wp, lp);
}

// A pinned module's code never goes away, so the frames still to return into it are safe.
void PinThisModule()
{
    HMODULE self;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(HostWindowProc), &self);
}

}  // namespace

LeaveAction DecideLeave(bool windowGone, bool onTop, bool framesInside)
{
    if (framesInside)
        return LeaveAction::kPin;      // the player returns into HostWindowProc after quit
    if (windowGone)
        return LeaveAction::kNothing;
    // Under a later subclass the chain must stay whole, and so must our code.
    return onTop ? LeaveAction::kRestore : LeaveAction::kPin;
}

void EnterPlayerWindow(HWND player)
{
    PlayerChain& chain = gState.chain;
    // After an unload that pinned us we are still in this window's chain: subclassing it again
    // would make us our own previous procedure.
    if (player && player == chain.kept.window) {
        chain.entered = chain.kept;
        return;
    }
    int unicode = IsWindowUnicode(player);
    chain.entered = {player, SetProc(player, unicode, HostWindowProc), unicode};
}

// The host may unload us next while its window lives on, even from inside a message that came
// through HostWindowProc. (The depth is the user-interface thread's: the host calls every
// entry there.)
void LeavePlayerWindow()
{
    PlayerChain& chain = gState.chain;
    Subclass entered = chain.entered;
    chain.entered = {};
    if (!entered.previous)
        return;   // we never got into its chain
    HWND player = entered.window;
    WNDPROC current = ProcOf(player, entered.unicode);
    LeaveAction action = DecideLeave(!current, current == HostWindowProc, chain.depth > 0);
    if (action == LeaveAction::kPin) {
        // Its messages keep going to its own procedure, whichever window a later load enters.
        chain.kept = entered;
        PinThisModule();
        return;
    }
    if (player == chain.kept.window)
        chain.kept = {};
    if (action == LeaveAction::kRestore)
        SetProc(player, entered.unicode, entered.previous);
}

// Counted, because the host may unload us inside a message that came through here.
LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    PlayerChain& chain = gState.chain;
    ++chain.depth;
    LRESULT result = 0;
    if (!OnHostMessage(hwnd, msg, wp, lp))
        result = CallPrevious(hwnd == chain.kept.window ? chain.kept : chain.entered, hwnd, msg,
                              wp, lp);
    --chain.depth;
    return result;
}
