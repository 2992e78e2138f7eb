// HostWindowProc's place in the procedure chain of each window it was entered into.
// The player's window is a Unicode window, and a window subclassed through the ANSI calls turns
// ANSI, so its song titles would pass through the code page as '?'. Every call that sets, calls
// or compares its procedure therefore uses the window's own character set, decided here alone.
#include "keys/keys.h"

namespace {

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Each window we entered carries its own record: the procedure its messages go on to, and its
// character set. A pinned module may stay in the chains of several windows at once, and the
// system drops the record with the window, so a handle used again never finds a stale one. The
// names are this module's own, so two copies of the plug-in can share a window.
void NameRecord()
{
    PlayerChain& chain = gState.chain;
    unsigned long self = reinterpret_cast<unsigned long>(HostWindowProc);
    constexpr char kFormat[] = "Velmora%c%08lX";
    wsprintfA(chain.previousProp, kFormat, 'P', self);   // the previous procedure
    wsprintfA(chain.unicodeProp, kFormat, 'U', self);    // present on a Unicode window
}

// Sent as the notification message with the asker's HostWindowProc, so a load can ask a window
// whether its chain still leads through this module, whatever sits on top: only the asker
// answers it, and every other copy of ours passes it on.
constexpr WPARAM kChainProbe = 0x56454C4D;

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

WNDPROC PreviousOf(HWND window)
{
    return reinterpret_cast<WNDPROC>(GetPropA(window, gState.chain.previousProp));
}

int UnicodeOf(HWND window)
{
    return GetPropA(window, gState.chain.unicodeProp) != nullptr;
}

// The record last written is also kept in the state, dropped with it. Only messages that come
// through HostWindowProc read the copy, and a window reaches it only after an entry, which
// writes the copy anew: a handle used again or a chain the host replaced meets no old copy.
bool Remember(HWND window, WNDPROC previous, int unicode)
{
    PlayerChain& chain = gState.chain;
    if (!SetPropA(window, chain.previousProp, reinterpret_cast<HANDLE>(previous)) ||
        (unicode && !SetPropA(window, chain.unicodeProp, reinterpret_cast<HANDLE>(1))))
        return false;
    chain.last = {window, previous, unicode};
    return true;
}

void Forget(HWND window)
{
    PlayerChain& chain = gState.chain;
    if (chain.last.window == window)
        chain.last = {};
    RemovePropA(window, chain.previousProp);
    RemovePropA(window, chain.unicodeProp);
}

// Every message the window gets comes this way: the copy spares it two property reads, each a
// round trip to the window server under Wine. Entering and leaving read the properties.
LRESULT CallPrevious(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    ChainRecord record = gState.chain.last;
    if (record.window != hwnd)
        record = {hwnd, PreviousOf(hwnd), UnicodeOf(hwnd)};
    return record.unicode ? CallWindowProcW(record.previous, hwnd, msg, wp, lp)
                          : CallWindowProcA(record.previous, hwnd, msg, wp, lp);
}

// After an unload that pinned us we may still be in its chain under a later procedure, or the
// host may have put its own procedure back since: only a message through the chain can tell.
bool LeadsThroughUs(HWND window)
{
    if (!PreviousOf(window))
        return false;
    LPARAM self = reinterpret_cast<LPARAM>(HostWindowProc);
    return ProcOf(window, UnicodeOf(window)) == HostWindowProc ||
           SendMessageA(window, gState.notifyMessage, kChainProbe, self) == self;
}

// A pinned module's code never goes away, so the frames still to return into it are safe.
void PinThisModule()
{
    HMODULE self;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(HostWindowProc), &self);
}

// The window's end ends what serves it: its thread may pump no more before quit (the player's
// own exit order), and a hook left there would hold up every key typed anywhere.
void OnWindowGone(HWND window)
{
    Forget(window);
    if (window == PlayerWindow())
        RemoveKeyboardHook();
}

// Counted, because the host may unload us inside a message that came through here.
LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    bool probe = msg == gState.notifyMessage && wp == kChainProbe;
    if (probe && lp == reinterpret_cast<LPARAM>(HostWindowProc))
        return lp;
    ++gState.chain.depth;
    LRESULT result = 0;
    if (probe || !OnHostMessage(hwnd, msg, wp, lp))   // another copy's probe: no key in it
        result = CallPrevious(hwnd, msg, wp, lp);
    --gState.chain.depth;
    if (msg == WM_NCDESTROY)   // the last message: passed on first, with the record it needs
        OnWindowGone(hwnd);
    return result;
}

}  // namespace

void EnterPlayerWindow(HWND player)
{
    NameRecord();
    if (LeadsThroughUs(player))
        return;   // entering again would make us our own previous procedure
    Forget(player);   // a record left from a chain the host has replaced since
    int unicode = IsWindowUnicode(player);
    WNDPROC previous = ProcOf(player, unicode);
    if (!previous || !Remember(player, previous, unicode) ||
        !SetProc(player, unicode, HostWindowProc))
        Forget(player);
}

// The host may unload us next while its window lives on, even from inside a message that came
// through HostWindowProc. (The depth is the user-interface thread's: the host calls every
// entry there.)
void LeavePlayerWindow()
{
    if (gState.chain.depth > 0) {
        PinThisModule();   // the player returns into HostWindowProc after quit
        return;
    }
    HWND player = PlayerWindow();
    WNDPROC previous = PreviousOf(player);
    if (!previous)
        return;   // never entered, or its window has gone
    int unicode = UnicodeOf(player);
    if (ProcOf(player, unicode) != HostWindowProc) {
        PinThisModule();   // a later procedure calls into us: its chain must stay whole
        return;
    }
    SetProc(player, unicode, previous);
    Forget(player);
}
