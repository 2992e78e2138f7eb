// A second player process with the plug-in loaded, for tests of two players at once.
// Usage: second_player.exe READY-EVENT STOP-EVENT [ACT-EVENT unplug|hang]; exits with the number
// of commands it received. Once ACT-EVENT is set it unloads the plug-in and keeps its window
// (unplug), or stops fetching messages until STOP-EVENT (hang); either way it sets READY-EVENT
// again first.
// Or: second_player.exe reload COPY: loads gen_velmora.dll, then COPY (the same plug-in under
// another file name) on the same window, unloads the first, which stays under the copy, and
// loads it again; then sends its window one query and types Stop. Exits with the number of
// Stop commands received; 253 when the query reached the window other than once, 252 when
// another command came.
#include <cstring>

#include "player_double.h"

namespace {

// Only keeps a forgotten player from living for ever.
constexpr DWORD kGiveUpMs = 300000;

// Pump while waiting: the plug-in's hook is called through this thread's queue. A quiet spell
// is no reason to go on: under emulation the test may take long.
void PumpUntilSet(HANDLE event)
{
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &event, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < kGiveUpMs)
        PumpMessages(0);
}

int Reload(const char* copy)
{
    PlayerDouble player;
    LoadedPlugin first, second;
    if (!CreatePlayerWindow(player, L"Velmora reloading player") ||
        !LoadPlugin(first, player.window) || !LoadPlugin(second, player.window, copy))
        return 254;
    UnloadPlugin(first);
    if (!LoadPlugin(first, player.window))
        return 254;
    ForgetReceived(player);
    SendMessageW(player.window, WM_USER, 0, 104);
    if (QueriesOf(player) != std::vector<LPARAM>{104})
        return 253;
    TapKey(VK_MEDIA_STOP);
    PumpUntil([&] { return !CommandsOf(player).empty(); });
    SettlePlayer(player);
    std::vector<UINT> commands = CommandsOf(player);
    DestroyPlayerWindow(player);
    QuitPlugin(first);
    QuitPlugin(second);
    return commands == std::vector<UINT>(commands.size(), 40047) ? static_cast<int>(commands.size())
                                                                 : 252;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "reload") == 0)
        return Reload(argv[2]);
    if (argc < 3)
        return 255;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    HANDLE act = argc > 4 ? OpenEventA(SYNCHRONIZE, FALSE, argv[3]) : nullptr;
    bool hangs = argc > 4 && std::strcmp(argv[4], "hang") == 0;
    PlayerDouble player;
    LoadedPlugin plugin;
    if (!ready || !stop || (argc > 3 && !act) ||
        !CreatePlayerWindow(player, L"Velmora second player") || !LoadPlugin(plugin, player.window))
        return 254;
    SetEvent(ready);
    if (act) {
        PumpUntilSet(act);
        if (!hangs)
            UnloadPlugin(plugin);
        SetEvent(ready);
    }
    if (hangs)   // a hung player: its thread fetches nothing, then recovers at STOP-EVENT
        WaitForSingleObject(stop, kGiveUpMs);
    PumpUntilSet(stop);
    SettlePlayer(player);
    int commands = static_cast<int>(CommandsOf(player).size());
    // The player's own exit: its window goes first, then quit; the library is never freed.
    DestroyPlayerWindow(player);
    QuitPlugin(plugin);
    return commands;
}
