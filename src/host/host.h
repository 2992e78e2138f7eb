// The host boundary every layer builds on: the descriptor, the player's commands, the
// process-wide state and the key settings store.
#pragma once

#include <windows.h>

// The descriptor the player reads: seven 32-bit fields, nothing more.
struct GeneralPurposePlugin {
    int version;
    const char* description;
    int (*init)();
    void (*config)();
    void (*quit)();
    HWND hwndParent;         // written by the player before init
    HINSTANCE hDllInstance;  // written by the player before init
};
static_assert(sizeof(void*) == 4, "the player is a 32-bit program");
static_assert(sizeof(GeneralPurposePlugin) == 28);

inline constexpr int kPluginVersion = 0x10;

// Commands the player accepts as WM_COMMAND, and its two WM_USER queries.
inline constexpr UINT kCmdPrevTrack = 40044;
inline constexpr UINT kCmdPlay = 40045;
inline constexpr UINT kCmdPause = 40046;
inline constexpr UINT kCmdStop = 40047;
inline constexpr UINT kCmdNextTrack = 40048;
inline constexpr UINT kCmdVolumeUp = 40058;
inline constexpr UINT kCmdVolumeDown = 40059;
inline constexpr LPARAM kQueryPlayState = 104;
inline constexpr LPARAM kQueryPositionMs = 105;
inline constexpr LRESULT kPlayStatePlaying = 1;
inline constexpr LRESULT kPlayStatePaused = 3;

inline constexpr int kHotkeyNext = 0x9000;      // Ctrl+Alt+PageDown
inline constexpr int kHotkeyPrevious = 0x9001;  // Ctrl+Alt+PageUp

inline constexpr char kSettingsKeyPath[] = "SOFTWARE\\Dravnik\\Velmora";
inline constexpr char kSharedMappingName[] = "{E75274E5-CAAD-4a4f-9CE0-EAD3146D3810}";
inline constexpr char kNotifyMessageName[] = "velmoranotify";

// Which multimedia keys are answered: each 0 or 1, in registry order.
struct KeyFlags {
    int Key_Play;
    int Key_Stop;
    int Key_Prev;
    int Key_Next;
    int Key_VolUp;
    int Key_VolDown;
};

// The first 8 bytes of the named shared mapping, little-endian.
struct SharedHookRecord {
    HHOOK hook;
    HWND target;
};
static_assert(sizeof(SharedHookRecord) == 8);

struct HookState {
    HHOOK hook;      // handed to CallNextHookEx; may be another player's, from the record
    HWND target;     // where notifications go; 0 means the hook does not act
    HANDLE mapping;
    SharedHookRecord* record;    // the mapping's view, kept while hooked; null if unusable
    int attached;    // the hook procedure has read the shared record in this process
    HHOOK own;       // the hook this process installed: the only one it ever unhooks
    HWND watch;      // message-only window whose timer notices a stalled thread
    DWORD lastTickMs;
    DWORD stallMs;   // a gap between ticks longer than this may have cost us the hook
    DWORD inTimeMs;  // the hook's last call within stallMs of its key's own time
    // A bit per answered key, from VK_VOLUME_DOWN: this hook swallowed the key-down of the press
    // (only its key-up is swallowed), or a key-down of the press went on.
    UINT swallowedDowns;
    UINT passedDowns;
    CRITICAL_SECTION lock;   // taken by install, removal and the stall watch only
};

// A window's record: the procedure its messages go on to, and its character set.
struct ChainRecord {
    HWND window;
    WNDPROC previous;
    int unicode;
};

// HostWindowProc in the player windows' procedure chains; each window we entered carries its
// own record, under the names kept here.
struct PlayerChain {
    int depth;              // HostWindowProc frames on the stack
    char previousProp[20];  // the record's names, this module's own
    char unicodeProp[20];
    ChainRecord last;       // a copy of the record last written; window 0 once it is dropped
};

struct PluginState {
    GeneralPurposePlugin plugin;   // export; the player writes the window and instance
    KeyFlags keys;                 // settings, config sheet
    UINT notifyMessage;            // lifecycle, keyboard hook
    UINT heldHotkeys;              // lifecycle: bit i while kHotkeyBindings[i] is registered
    PlayerChain chain;             // keys: entering and leaving player windows
    HookState hook;                // keyboard hook; it forgets itself after removal
    int sheetRunning;              // config sheet: inside its modal call
    HWND sheet;                    // config sheet: its window, once the Settings page exists
};

// The state as the library is loaded, defined beside the entries it names; tests assign it
// back to start afresh.
extern const PluginState kLoadedState;
extern PluginState gState;

inline HWND PlayerWindow() { return gState.plugin.hwndParent; }
inline HINSTANCE ModuleInstance() { return gState.plugin.hDllInstance; }

void LoadKeyFlags();
void SaveKeyFlags();
