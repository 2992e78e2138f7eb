// The system-wide low-level keyboard hook and the shared record that names its target.
#include "keys/key_bindings.h"
#include "keys/keys.h"

namespace {

void WriteSharedRecord(HANDLE mapping, const SharedHookRecord& record)
{
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (!view)
        return;
    CopyMemory(view, &record, sizeof record);
    UnmapViewOfFile(view);
}

bool ReadSharedRecord(HANDLE mapping, SharedHookRecord* record)
{
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
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

int InstallLocked()
{
    if (gState.hook.hook)
        return 0;
    gState.hook.hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHookProc, ModuleInstance(), 0);
    if (!gState.hook.hook)
        return 0;
    // An existing mapping of this name (another player) is opened and taken over.
    gState.hook.mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             kSharedMappingSize, kSharedMappingName);
    if (gState.hook.mapping)
        WriteSharedRecord(gState.hook.mapping, {gState.hook.hook, PlayerWindow()});
    gState.hook.target = PlayerWindow();
    return 1;
}

int RemoveLocked()
{
    if (!gState.hook.hook)
        return 1;
    int result = UnhookWindowsHookEx(gState.hook.hook);
    if (gState.hook.mapping)
        CloseHandle(gState.hook.mapping);
    // The handles are deliberately left set: a removed hook is never installed again.
    return result;
}

}  // namespace

int InstallKeyboardHook()
{
    EnterCriticalSection(&gState.lock);
    int installed = InstallLocked();
    LeaveCriticalSection(&gState.lock);
    return installed;
}

int RemoveKeyboardHook()
{
    EnterCriticalSection(&gState.lock);
    int result = RemoveLocked();
    LeaveCriticalSection(&gState.lock);
    return result;
}

int FlagOfKey(UINT vk)
{
    const KeyBinding* binding = FindBinding(vk);
    return binding ? gState.keys.*binding->flag : 0;
}

// Called for every key typed anywhere, on the player's thread, and the system drops a hook
// that answers slowly: the pass-through path is a few compares and CallNextHookEx.
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM msg, LPARAM event)
{
    if (!gState.hook.attached)
        AttachToSharedRecord();
    if (code < 0 || !gState.hook.target || !gState.notifyMessage)
        return CallNextHookEx(gState.hook.hook, code, msg, event);
    UINT vk = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event)->vkCode;
    if (!FlagOfKey(vk))
        return CallNextHookEx(gState.hook.hook, code, msg, event);
    // Posted, not sent: the hook must return before the player acts on the key.
    if (msg == WM_KEYDOWN)
        PostMessageA(gState.hook.target, gState.notifyMessage, 0, vk);
    return -1;   // down and up alike, so no other program sees half a key press
}
