// Shared set-up for tests of the linked plug-in: a fresh state, a player window, a clean
// settings key, and helpers to see the registry and the keyboard from outside.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "player_double.h"
#include "host/host.h"

// Registry access of the test's own, independent of the code under test.
void SeedValue(const char* name, DWORD type, const void* data, DWORD size);
void SeedDword(const char* name, DWORD value);
bool ReadStoredValue(const char* name, DWORD* type, std::vector<BYTE>* data);
int CountStoredValues();   // -1 when the key is absent

// The six flags in memory, in registry order.
std::vector<int> FlagsInMemory();

// A low-level hook of the test's own: it sees exactly what newer hooks let through.
struct ObservedKey {
    WPARAM msg;
    DWORD vk;
};
void InstallObserver();
void RemoveObserver();
std::vector<ObservedKey>& Observed();
int ObservedCount(DWORD vk, WPARAM msg);

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void StartPlugin();   // the player's init
    void StopPlugin();    // the player's quit

    PlayerDouble player;
    bool started = false;
};
