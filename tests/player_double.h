// A stand-in for the player: a real top-level window that answers the play-state and position
// queries from fields a caller sets and records every message it receives, and a loader that
// brings up gen_velmora.dll the way the player does. Like the player's, the window is Unicode
// unless asked otherwise.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host_names.h"

struct ReceivedMessage {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

// The player's window is Unicode (RegisterClassW, DefWindowProcW); an ANSI one shows that other
// hosts still work.
enum PlayerCharset { kUnicode, kAnsi };

struct PlayerDouble {
    HWND window = nullptr;
    PlayerCharset charset = kUnicode;
    LRESULT playState = 0;     // answer to WM_USER 104
    LRESULT positionMs = 0;    // answer to WM_USER 105
    std::vector<ReceivedMessage> received;
    // The title as the player's own procedure last received it (WM_SETTEXT); WM_GETTEXT is
    // answered from it, as the player answers from its own caption.
    std::wstring caption;
    // Called for every WM_COMMAND after it is recorded; a simulated player acts here.
    void (*onCommand)(PlayerDouble& player, UINT command) = nullptr;
    // Called inside WM_ENDSESSION (wParam TRUE), where the player calls quit, its window alive.
    void (*onEndSession)(PlayerDouble& player) = nullptr;
    void* context = nullptr;
};

// Creates the window (hidden unless shown by the caller) on the calling thread.
bool CreatePlayerWindow(PlayerDouble& player, const wchar_t* caption = L"Velmora player double",
                        PlayerCharset charset = kUnicode);
void DestroyPlayerWindow(PlayerDouble& player);

std::vector<UINT> CommandsOf(const PlayerDouble& player);                 // WM_COMMAND ids, in order
std::vector<LPARAM> QueriesOf(const PlayerDouble& player);                // WM_USER selectors, in order
int CountOf(const PlayerDouble& player, UINT msg);
void ForgetReceived(PlayerDouble& player);

// The window's procedure in the window's own form: GetWindowLongA on a Unicode window gives a
// handle that stands for the procedure, not its address.
LONG_PTR WindowProcOf(HWND window);

// Sets a song title as the player does, "N. 日本語 ไทย עברית - Winamp" (plain ASCII on an ANSI
// window, whose text is in the ANSI code page), and reads it back as other programs do (taskbar,
// Alt+Tab). "" when it came through whole to the player's own procedure and back, and the window
// is still of its own character set; else what went wrong. A new track number at each step, so
// an old title cannot pass.
std::string TitleFault(PlayerDouble& player, int track);
std::wstring WindowText(HWND window);   // GetWindowTextW
std::string Utf8(const std::wstring& text);

// Dispatches this thread's messages for timeoutMs in all: only for showing that nothing more
// arrives. To wait for something, use PumpUntil.
void PumpMessages(DWORD timeoutMs = 50);

// Generous: CI may run on 2 busy cores, with Wine under emulation.
inline constexpr DWORD kWaitMs = 15000;
// Dispatches this thread's messages until done() holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);
// Posts a marker to the player window and pumps until it arrives and no input is pending: all
// that reached the window before, from keys injected before included, has been handled.
bool SettlePlayer(PlayerDouble& player);

struct LoadedPlugin {
    HMODULE module = nullptr;
    GeneralPurposePlugin* plugin = nullptr;
};

// LoadLibraryA, the export, fields 6 and 7, then init; false when any of the first steps fails.
bool LoadPlugin(LoadedPlugin& loaded, HWND player, const char* path = "gen_velmora.dll");
// quit, then FreeLibrary, as a host that unloads a plug-in while it runs.
void UnloadPlugin(LoadedPlugin& loaded);
// quit only, as the player at exit (after its window is gone) or at WM_ENDSESSION: the library
// stays loaded for good; `loaded` forgets it.
void QuitPlugin(LoadedPlugin& loaded);

// This program's folder, with a trailing separator; "" when the path does not fit MAX_PATH.
std::string ProgramFolder();

// Keyboard input through the system, as a keyboard gives it: scan code, and the extended flag
// for the keys that carry it. Callers release what they press.
INPUT KeyInput(WORD vk, bool up);
void InjectKey(WORD vk, bool up);
void TapKey(WORD vk);            // down, then up
void TapWithCtrlAlt(WORD vk);

// A low-level hook of the test's own: it sees exactly what newer hooks let through. Its thread
// must pump while keys are in flight.
struct ObservedKey {
    WPARAM msg;
    DWORD vk;
};
bool InstallObserver();
void RemoveObserver();
std::vector<ObservedKey>& Observed();
int ObservedCount(DWORD vk, WPARAM msg);

// A shown top-level window of the given procedure, made the foreground and focus window.
HWND CreateFocusedWindow(WNDPROC proc, const char* className);
// Another program's window, hidden: a hotkey owner, another player's target.
HWND CreateOtherWindow(const char* caption = "other");

// Points this program's import of dll!name at `replacement`; returns the previous target, or
// null when nothing in the program imports the function (so nothing here can call it).
void* ReplaceImport(const char* dllName, const char* name, void* replacement);

// Writes one value under kVelmoraKey, as the user's stored settings; false when it cannot.
bool SeedValue(const char* name, DWORD type, const void* data, DWORD size);
bool SeedDword(const char* name, DWORD value);
// Removes HKCU\SOFTWARE\Dravnik, so that a run starts and ends with no stored settings.
void DeleteSettingsTree();
