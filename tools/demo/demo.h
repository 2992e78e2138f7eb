// The demo player's two modes.
#pragma once

// Loads the plug-in, presses every key through the system and prints what the player did;
// 0 when every key did what it should.
int RunScripted(const char* dllPath);
// A window that shows the player and lets the user press keys and open the configuration.
int RunInteractive(const char* dllPath);
