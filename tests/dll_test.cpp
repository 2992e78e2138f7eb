// gen_velmora.dll loaded the way the player loads it.
#include <gtest/gtest.h>

#include "player_double.h"

namespace {

class LoadedDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsTree();
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        ASSERT_TRUE(CreatePlayerWindow(player));
    }
    void TearDown() override
    {
        UnloadPlugin(plugin);
        DestroyPlayerWindow(player);
        PumpMessages(10);
        DeleteSettingsTree();
    }

    PlayerDouble player;
    LoadedPlugin plugin;
};

}  // namespace

TEST_F(LoadedDll, ExportReturnsOneDescriptorOfVersion16)
{
    HMODULE module = LoadLibraryA("gen_velmora.dll");
    ASSERT_NE(module, nullptr);
    using GetPlugin = GeneralPurposePlugin* (*)();
    auto get = reinterpret_cast<GetPlugin>(
        reinterpret_cast<void*>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
    ASSERT_NE(get, nullptr);
    GeneralPurposePlugin* first = get();
    EXPECT_EQ(get(), first);
    EXPECT_EQ(first->version, 16);
    EXPECT_STREQ(first->description, "Velmora");
    EXPECT_NE(first->init, nullptr);
    EXPECT_NE(first->config, nullptr);
    EXPECT_NE(first->quit, nullptr);
    EXPECT_EQ(first->hwndParent, nullptr);
    EXPECT_EQ(first->hDllInstance, nullptr);
    FreeLibrary(module);
}


TEST_F(LoadedDll, KeysAndHotkeysDriveThePlayer)
{
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    player.playState = 1;
    TapWithCtrlAlt(VK_NEXT);
    TapWithCtrlAlt(VK_PRIOR);
    TapKey(VK_MEDIA_PLAY_PAUSE);
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40048, 40044, 40046}));
    EXPECT_EQ(CountOf(player, WM_HOTKEY), 2);
}

TEST_F(LoadedDll, PlayerWindowOutlivesTheUnloadedPlugin)
{
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    UnloadPlugin(plugin);
    ASSERT_EQ(GetModuleHandleA("gen_velmora.dll"), nullptr);
    ForgetReceived(player);
    player.playState = 3;
    EXPECT_EQ(SendMessageA(player.window, WM_USER, 0, 104), 3);
    SendMessageA(player.window, WM_HOTKEY, 0x9000, 0);
    PostMessageA(player.window, RegisterWindowMessageA("velmoranotify"), 0, VK_MEDIA_STOP);
    TapWithCtrlAlt(VK_NEXT);
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
    EXPECT_EQ(CountOf(player, WM_USER), 1);
    EXPECT_EQ(CountOf(player, WM_HOTKEY), 1);
    EXPECT_EQ(CountOf(player, RegisterWindowMessageA("velmoranotify")), 1);
}

TEST_F(LoadedDll, TwoPlayersGiveOneCommandPerKey)
{
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-ready");
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-stop");
    char command[] = "second_player.exe velmora-test-second-ready velmora-test-second-stop";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second{};
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &second));
    HANDLE waits[] = {ready, second.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 10000), WAIT_OBJECT_0);

    HWND secondWindow = FindWindowA(nullptr, "Velmora second player");
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "{E75274E5-CAAD-4a4f-9CE0-EAD3146D3810}");
    ASSERT_NE(mapping, nullptr);
    const DWORD* record = static_cast<const DWORD*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record[1], reinterpret_cast<DWORD>(secondWindow));   // the one installed last
    EXPECT_NE(record[0], 0u);
    UnmapViewOfFile(record);
    CloseHandle(mapping);

    TapKey(VK_MEDIA_STOP);
    PumpMessages(100);
    SetEvent(stop);
    DWORD secondCommands = 255;
    WaitForSingleObject(second.hProcess, 10000);
    GetExitCodeProcess(second.hProcess, &secondCommands);
    EXPECT_EQ(CommandsOf(player).size() + secondCommands, 1u);
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    CloseHandle(ready);
    CloseHandle(stop);
}

TEST_F(LoadedDll, SettingsStoredBeforeInitDecideWhichKeysAreAnswered)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik\\Velmora", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    DWORD off = 0, on = 1;
    RegSetValueExA(key, "Key_Play", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), 4);
    RegSetValueExA(key, "Key_VolUp", 0, REG_DWORD, reinterpret_cast<BYTE*>(&on), 4);
    RegCloseKey(key);
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    TapKey(VK_MEDIA_PLAY_PAUSE);
    TapKey(VK_VOLUME_UP);
    TapKey(VK_VOLUME_DOWN);
    TapKey(VK_MEDIA_NEXT_TRACK);
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40058, 40048}));
}
