// Shared set-up for tests of the linked plug-in: a fresh state, a player window, a clean
// settings key, and helpers to see the registry and the keyboard from outside.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "player_double.h"
#include "host/host.h"

// Registry access of the test's own, independent of the code under test (SeedValue, SeedDword
// and DeleteSettingsTree are the player double's).
bool ReadStoredValue(const char* name, DWORD* type, std::vector<BYTE>* data);
int CountStoredValues();   // -1 when the key is absent

// The six flags in memory, in registry order.
std::vector<int> FlagsInMemory();

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void StartPlugin();   // the player's init
    void StopPlugin();    // the player's quit
    // A fresh player window of the given kind in place of the Unicode one SetUp made, and a
    // state as just loaded; call before StartPlugin.
    void RecreatePlayer(PlayerCharset charset);

    PlayerDouble player;
    bool started = false;
};
