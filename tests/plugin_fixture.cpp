#include "plugin_fixture.h"

bool ReadStoredValue(const char* name, DWORD* type, std::vector<BYTE>* data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    data->assign(size, 0);
    if (rc == ERROR_SUCCESS && size)
        rc = RegQueryValueExA(key, name, nullptr, type, data->data(), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

int CountStoredValues()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(count);
}

std::vector<int> FlagsInMemory()
{
    const KeyFlags& k = gState.keys;
    return {k.Key_Play, k.Key_Stop, k.Key_Prev, k.Key_Next, k.Key_VolUp, k.Key_VolDown};
}

void PluginTest::SetUp()
{
    DeleteSettingsTree();
    RecreatePlayer(kUnicode);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);   // a queue, so low-level hooks reach us
}

void PluginTest::RecreatePlayer(PlayerCharset charset)
{
    DestroyPlayerWindow(player);
    player = {};
    gState = kLoadedState;
    ASSERT_TRUE(CreatePlayerWindow(player, L"Velmora player double", charset));
    gState.plugin.hwndParent = player.window;
    gState.plugin.hDllInstance = GetModuleHandleA(nullptr);
}

void PluginTest::StartPlugin()
{
    EXPECT_EQ(gState.plugin.init(), 0);
    started = true;
}

void PluginTest::StopPlugin()
{
    if (started)
        gState.plugin.quit();
    started = false;
}

void PluginTest::TearDown()
{
    StopPlugin();
    RemoveObserver();
    DestroyPlayerWindow(player);
    PumpMessages(10);
    DeleteSettingsTree();
    gState = kLoadedState;
}
