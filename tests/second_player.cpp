// A second player process with the plug-in loaded, for tests of two players at once.
// Usage: second_player.exe READY-EVENT STOP-EVENT; exits with the number of commands it received.
#include "player_double.h"

int main(int argc, char** argv)
{
    if (argc < 3)
        return 255;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    PlayerDouble player;
    LoadedPlugin plugin;
    if (!ready || !stop || !CreatePlayerWindow(player, "Velmora second player") ||
        !LoadPlugin(plugin, player.window))
        return 254;
    SetEvent(ready);
    // Pump while waiting: the plug-in's hook is called through this thread's queue.
    while (MsgWaitForMultipleObjects(1, &stop, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpMessages(0);
    SettlePlayer(player);
    int commands = static_cast<int>(CommandsOf(player).size());
    UnloadPlugin(plugin);
    DestroyPlayerWindow(player);
    return commands;
}
