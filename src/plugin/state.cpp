// The one definition of the plug-in's process-wide state.
#include "host/host.h"
#include "plugin/lifecycle.h"

constexpr PluginState kLoadedState = {
    .plugin = {
        .version = kPluginVersion,
        .description = "Velmora",
        .init = PluginInit,
        .config = PluginConfig,
        .quit = PluginQuit,
        .hwndParent = nullptr,
        .hDllInstance = nullptr,
    },
    .keys = {},
    .notifyMessage = 0,
    .heldHotkeys = 0,
    .chain = {},
    .hook = {},
    .sheetRunning = 0,
    .sheet = nullptr,
};

constinit PluginState gState = kLoadedState;
