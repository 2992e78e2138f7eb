// A stand-in for the player: a real top-level window that answers the play-state and position
// queries from fields a caller sets and records every message it receives, and a loader that
// brings up gen_velmora.dll the way the player does.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "host/host.h"
#include "host_names.h"

struct ReceivedMessage {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

struct PlayerDouble {
    HWND window = nullptr;
    LRESULT playState = 0;     // answer to WM_USER 104
    LRESULT positionMs = 0;    // answer to WM_USER 105
    std::vector<ReceivedMessage> received;
    // Called for every WM_COMMAND after it is recorded; a simulated player acts here.
    void (*onCommand)(PlayerDouble& player, UINT command) = nullptr;
    void* context = nullptr;
};

// Creates the window (hidden unless shown by the caller) on the calling thread.
bool CreatePlayerWindow(PlayerDouble& player, const char* caption = "Velmora player double");
void DestroyPlayerWindow(PlayerDouble& player);

std::vector<UINT> CommandsOf(const PlayerDouble& player);                 // WM_COMMAND ids, in order
std::vector<LPARAM> QueriesOf(const PlayerDouble& player);                // WM_USER selectors, in order
int CountOf(const PlayerDouble& player, UINT msg);
void ForgetReceived(PlayerDouble& player);

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
// quit, then FreeLibrary.
void UnloadPlugin(LoadedPlugin& loaded);

// Keyboard input through the system, as a keyboard gives it. Callers release what they press.
void InjectKey(WORD vk, bool up);
void TapKey(WORD vk);            // down, then up
void TapWithCtrlAlt(WORD vk);

// A shown top-level window of the given procedure, made the foreground and focus window.
HWND CreateFocusedWindow(WNDPROC proc, const char* className);

// Points this program's import of dll!name at `replacement`; returns the previous target, or
// null when nothing in the program imports the function (so nothing here can call it).
void* ReplaceImport(const char* dllName, const char* name, void* replacement);

// Removes HKCU\SOFTWARE\Dravnik, so that a run starts and ends with no stored settings.
void DeleteSettingsTree();
