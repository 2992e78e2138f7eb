// The system-wide low-level keyboard hook and the shared record that names its target.
#include "keys/key_bindings.h"
#include "keys/keys.h"

namespace {

constexpr DWORD kSharedMappingSize = 64;

// A view of the record, or null unless it is committed read-write memory: a name taken first
// with reserved pages maps fine and faults on the first touch. A committed view is at least a
// page, so the 8 bytes fit.
void* MapRecord(HANDLE mapping)
{
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    MEMORY_BASIC_INFORMATION info;
    if (view && (!VirtualQuery(view, &info, sizeof info) || info.State != MEM_COMMIT ||
                 info.Protect != PAGE_READWRITE)) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    return view;
}

bool ReadSharedRecord(HANDLE mapping, SharedHookRecord* record)
{
    void* view = MapRecord(mapping);
    if (!view)
        return false;
    CopyMemory(record, view, sizeof *record);
    UnmapViewOfFile(view);
    return true;
}

// Runs once per process, on the first event: the player that installed last owns the record.
void AttachToSharedRecord()
{
    gState.hook.attached = 1;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kSharedMappingName);
    if (!mapping)
        return;
    SharedHookRecord record{};
    // A record whose window is not a window (zeroed or garbage from some other program)
    // would silence the hook; keep what install set instead.
    if (ReadSharedRecord(mapping, &record) && IsWindow(record.target)) {
        gState.hook.hook = record.hook;
        gState.hook.target = record.target;
        gState.notifyMessage = RegisterWindowMessageA(kNotifyMessageName);
    }
    CloseHandle(mapping);
}

HHOOK HookKeyboard()
{
    return SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHookProc, ModuleInstance(), 0);
}

// Windows 7 and later silently drop a low-level hook that has not answered within
// LowLevelHooksTimeout; 10 1709 and later cap it at 1000 ms. Unset, we take the commonly
// cited 300 ms. Guessing low costs a needless re-hook, guessing high a hook left dropped, so
// we err low; the floor keeps timer jitter from passing for a stall.
constexpr DWORD kUnsetHookTimeoutMs = 300;
constexpr DWORD kMinHookTimeoutMs = 100;
constexpr DWORD kMaxHookTimeoutMs = 1000;

DWORD HookTimeoutMs()
{
    DWORD ms = 0, size = sizeof ms;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) == 0) {
        RegQueryValueExA(key, "LowLevelHooksTimeout", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&ms), &size);
        RegCloseKey(key);
    }
    if (!ms)
        return kUnsetHookTimeoutMs;
    if (ms < kMinHookTimeoutMs)
        return kMinHookTimeoutMs;
    return ms > kMaxHookTimeoutMs ? kMaxHookTimeoutMs : ms;
}

// Nothing tells us when the system dropped the hook, so after any stall long enough for that,
// hook afresh and unhook the old one (which fails harmlessly if it is gone already).
void RenewLocked()
{
    HHOOK old = gState.hook.own;
    HHOOK fresh = HookKeyboard();
    if (!fresh)
        return;
    UnhookWindowsHookEx(old);
    gState.hook.own = fresh;
    if (gState.hook.hook == old)
        gState.hook.hook = fresh;
    SharedHookRecord* record = gState.hook.record;
    if (record && record->target == PlayerWindow())   // else a player started since owns it
        record->hook = fresh;
}

// Runs on the player's thread, so a long gap between ticks means that thread was blocked. The
// system drops a hook only over a key it could not hand over in time: after an idle stall, or
// one in which the hook still answered in time, the hook stays where it is, behind any hook
// installed since (another player, a key remapper). A renewed hook would run before them.
void CALLBACK OnWatchTick(HWND, UINT, UINT_PTR, DWORD)
{
    DWORD now = GetTickCount();
    DWORD before = gState.hook.lastTickMs;
    gState.hook.lastTickMs = now;
    if (now - before <= gState.hook.stallMs)
        return;
    // A key answered in time after this tick fell due, so within the stall: the system kept the
    // hook. One answered just before the stall began proves nothing.
    DWORD answered = gState.hook.inTimeMs - before;
    if (answered > gState.hook.stallMs / 2 && answered <= now - before)
        return;
    LASTINPUTINFO input{sizeof input, now};   // when it cannot tell, assume there was input
    GetLastInputInfo(&input);
    if (static_cast<int>(input.dwTime - before) < 0)
        return;
    EnterCriticalSection(&gState.hook.lock);
    RenewLocked();
    LeaveCriticalSection(&gState.hook.lock);
}

// The guards go by the hook this process installed: the record, which anyone can write, may
// have handed gState.hook.hook any value, 0 included.
int InstallLocked()
{
    if (gState.hook.own)
        return 0;
    gState.hook.own = HookKeyboard();
    if (!gState.hook.own)
        return 0;
    gState.hook.hook = gState.hook.own;
    // An existing mapping of this name (another player) is opened and taken over.
    gState.hook.mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             kSharedMappingSize, kSharedMappingName);
    // Mapped while we are hooked: every player's hook reads it on every answered key.
    gState.hook.record = static_cast<SharedHookRecord*>(MapRecord(gState.hook.mapping));
    if (gState.hook.record)
        *gState.hook.record = {gState.hook.own, PlayerWindow()};
    gState.hook.target = PlayerWindow();
    // A window of our own, not the player's timers; a system class, so nothing to unregister.
    gState.hook.stallMs = HookTimeoutMs();
    gState.hook.lastTickMs = GetTickCount();
    gState.hook.inTimeMs = gState.hook.lastTickMs;
    gState.hook.watch = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, nullptr, nullptr);
    if (gState.hook.watch)
        SetTimer(gState.hook.watch, 1, gState.hook.stallMs / 2, OnWatchTick);
    return 1;
}

int RemoveLocked()
{
    HookState& hook = gState.hook;
    DestroyWindow(hook.watch);   // its timer goes with it
    // Our own hook, even when the record gave us another player's handle for CallNextHookEx.
    int result = UnhookWindowsHookEx(hook.own);
    // Named by no one rather than handed back: the player that had it before may have quit
    // since, and keys sent to its window would be lost. Every hook left answers at its own
    // player then, and the newest of them is called first.
    if (SharedHookRecord* record = hook.record) {
        if (record->target == PlayerWindow())   // else a player that installed since keeps it
            *record = {};
        UnmapViewOfFile(record);
    }
    if (hook.mapping)
        CloseHandle(hook.mapping);
    // Removed once: when the player window's end has released it, quit finds nothing to do.
    // The other handles are left as they are: nothing reads them once own is cleared.
    hook.own = nullptr;
    hook.record = nullptr;
    return result;
}

// The player that installed last answers while it is there, and the record changes as players
// come and go: read it again for each answered key (never on the pass-through path). A record
// that names no live window, or a hung one, leaves the key to this player.
void FollowRecord()
{
    if (const SharedHookRecord* record = gState.hook.record) {
        SharedHookRecord now = *record;
        gState.hook.hook = now.hook;
        gState.hook.target = now.target;
    }
    // A hung player would replay a burst of stale commands when it recovers.
    HWND target = gState.hook.target;
    if (target != PlayerWindow() && (!IsWindow(target) || IsHungAppWindow(target))) {
        gState.hook.hook = gState.hook.own;
        gState.hook.target = PlayerWindow();
    }
}

}  // namespace

void CreateHookLock()
{
    InitializeCriticalSection(&gState.hook.lock);
}

int InstallKeyboardHook()
{
    EnterCriticalSection(&gState.hook.lock);
    int installed = InstallLocked();
    LeaveCriticalSection(&gState.hook.lock);
    return installed;
}

int RemoveKeyboardHook()
{
    if (!gState.hook.own)
        return 1;   // never hooked, or released already: the lock may be gone too
    EnterCriticalSection(&gState.hook.lock);
    int result = RemoveLocked();
    LeaveCriticalSection(&gState.hook.lock);
    return result;
}

void ForgetKeyboardHook()
{
    DeleteCriticalSection(&gState.hook.lock);
    gState.hook = {};
}

namespace {

// The hook runs on the player's thread, so it reads the flags without the lock.
[[nodiscard]] int FlagOfKey(UINT vk)
{
    const KeyBinding* binding = FindBinding(vk);
    return binding ? gState.keys.*binding->flag : 0;
}

}  // namespace

KeyAnswer DecideKey(WPARAM msg, bool canTell, bool swallowedDown)
{
    if (msg == WM_KEYDOWN)   // a key-down nobody can be told of goes on, and so will its key-up
        return canTell ? KeyAnswer::kTellAndSwallow : KeyAnswer::kPassOn;
    // With Alt held the key gives no command. A key-up is swallowed only after its key-down,
    // so no other program sees half a key press.
    if (msg == WM_SYSKEYDOWN || swallowedDown)
        return KeyAnswer::kSwallow;
    return KeyAnswer::kPassOn;
}

namespace {

// An answered key: told to the player that installed last and swallowed, or passed on whole.
bool SwallowAnsweredKey(WPARAM msg, UINT vk)
{
    FollowRecord();
    HookState& hook = gState.hook;
    UINT bit = 1u << (vk - VK_VOLUME_DOWN);
    bool canTell = msg == WM_KEYDOWN && IsWindow(hook.target);   // only a key-down is told
    KeyAnswer answer = DecideKey(msg, canTell, (hook.swallowedDowns & bit) != 0);
    // Posted: the hook must return before the player acts. A queue that will not take it lets
    // the key go on.
    if (answer == KeyAnswer::kTellAndSwallow &&
        !PostMessageA(hook.target, gState.notifyMessage, 0, vk))
        answer = KeyAnswer::kPassOn;
    bool swallowed = answer != KeyAnswer::kPassOn;
    if (msg == WM_KEYUP || msg == WM_SYSKEYUP) {
        hook.swallowedDowns &= ~bit;
        hook.passedDowns &= ~bit;
    } else if (swallowed) {   // a repeat of a key-down that went on leaves its key-up to go on
        hook.swallowedDowns |= bit & ~hook.passedDowns;
    } else {
        hook.passedDowns |= bit;
        hook.swallowedDowns &= ~bit;
    }
    return swallowed;
}

}  // namespace

// Called for every key typed anywhere, on the player's thread, and the system drops a hook
// that answers slowly: the pass-through path is a few compares and CallNextHookEx.
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM msg, LPARAM event)
{
    if (!gState.hook.attached)
        AttachToSharedRecord();
    if (code < 0 || !gState.hook.target || !gState.notifyMessage)
        return CallNextHookEx(gState.hook.hook, code, msg, event);
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
    DWORD now = GetTickCount();   // a late call does not show that the system kept the hook
    if (now - key->time <= gState.hook.stallMs)
        gState.hook.inTimeMs = now;
    if (FlagOfKey(key->vkCode) && SwallowAnsweredKey(msg, key->vkCode))
        return -1;
    return CallNextHookEx(gState.hook.hook, code, msg, event);
}
