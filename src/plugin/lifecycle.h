// The composition root: the descriptor's entries, which wire the key and sheet modules together.
#pragma once

int PluginInit();
void PluginConfig();
void PluginQuit();
