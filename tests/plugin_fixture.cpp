#include "plugin_fixture.h"

namespace {

HHOOK gObserver;
std::vector<ObservedKey> gObserved;

LRESULT CALLBACK ObserverProc(int code, WPARAM msg, LPARAM lp)
{
    if (code == HC_ACTION)
        gObserved.push_back({msg, reinterpret_cast<KBDLLHOOKSTRUCT*>(lp)->vkCode});
    return CallNextHookEx(gObserver, code, msg, lp);
}

}  // namespace

void SeedValue(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SeedDword(const char* name, DWORD value)
{
    SeedValue(name, REG_DWORD, &value, sizeof value);
}

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

void InstallObserver()
{
    gObserved.clear();
    gObserver = SetWindowsHookExA(WH_KEYBOARD_LL, ObserverProc, GetModuleHandleA(nullptr), 0);
    ASSERT_NE(gObserver, nullptr);
}

void RemoveObserver()
{
    if (gObserver)
        UnhookWindowsHookEx(gObserver);
    gObserver = nullptr;
}

std::vector<ObservedKey>& Observed()
{
    return gObserved;
}

int ObservedCount(DWORD vk, WPARAM msg)
{
    int count = 0;
    for (const ObservedKey& key : gObserved)
        count += key.vk == vk && key.msg == msg;
    return count;
}

void PluginTest::SetUp()
{
    DeleteSettingsTree();
    gState = kLoadedState;
    ASSERT_TRUE(CreatePlayerWindow(player));
    gState.plugin.hwndParent = player.window;
    gState.plugin.hDllInstance = GetModuleHandleA(nullptr);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);   // a queue, so low-level hooks reach us
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
