// A second player process with the plug-in loaded, for tests of two players at once.
// Usage: second_player.exe READY-EVENT STOP-EVENT [UNPLUG-EVENT]; exits with the number of
// commands it received. Once UNPLUG-EVENT is set it unloads the plug-in, keeps its window and
// sets READY-EVENT again.
#include "player_double.h"

namespace {

// Pump while waiting: the plug-in's hook is called through this thread's queue. A quiet spell
// is no reason to go on (under emulation the test may take long); the deadline, a test's own
// timeout, only keeps a forgotten player from living for ever.
void PumpUntilSet(HANDLE event)
{
    constexpr DWORD kGiveUpMs = 300000;
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &event, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < kGiveUpMs)
        PumpMessages(0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 255;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    HANDLE unplug = argc > 3 ? OpenEventA(SYNCHRONIZE, FALSE, argv[3]) : nullptr;
    PlayerDouble player;
    LoadedPlugin plugin;
    if (!ready || !stop || (argc > 3 && !unplug) ||
        !CreatePlayerWindow(player, L"Velmora second player") || !LoadPlugin(plugin, player.window))
        return 254;
    SetEvent(ready);
    if (unplug) {
        PumpUntilSet(unplug);
        UnloadPlugin(plugin);
        SetEvent(ready);
    }
    PumpUntilSet(stop);
    SettlePlayer(player);
    int commands = static_cast<int>(CommandsOf(player).size());
    // The player's own exit: its window goes first, then quit; the library is never freed.
    DestroyPlayerWindow(player);
    QuitPlugin(plugin);
    return commands;
}
