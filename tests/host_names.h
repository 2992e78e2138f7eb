// The names the plug-in shares with other programs, spelled once for every test as the world
// knows them, so that a test fails when the product's spelling drifts.
#pragma once

inline constexpr char kVelmoraKey[] = "SOFTWARE\\Dravnik\\Velmora";   // under HKEY_CURRENT_USER
inline constexpr char kVelmoraMapping[] = "{E75274E5-CAAD-4a4f-9CE0-EAD3146D3810}";
inline constexpr char kVelmoraNotify[] = "velmoranotify";
// The six values under kVelmoraKey, in the order of the keys they switch.
inline constexpr const char* kKeyValueNames[6] = {"Key_Play",  "Key_Stop",  "Key_Prev",
                                                  "Key_Next",  "Key_VolUp", "Key_VolDown"};
