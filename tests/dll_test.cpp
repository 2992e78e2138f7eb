// gen_velmora.dll loaded the way the player loads it.
#include <gtest/gtest.h>

#include <string>

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
    // Read as the player reads it: seven 32-bit fields by offset, whatever the struct says.
    DWORD raw[7];
    CopyMemory(raw, first, sizeof raw);
    EXPECT_EQ(raw[0], 16u);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw[1]), "Velmora");
    for (int i = 2; i < 5; ++i) {   // init, config, quit: three entries into this module
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(reinterpret_cast<void*>(raw[i]), &info, sizeof info);
        EXPECT_EQ(info.AllocationBase, module) << "field at offset " << 4 * i;
    }
    EXPECT_TRUE(raw[2] != raw[3] && raw[3] != raw[4] && raw[2] != raw[4]);
    EXPECT_EQ(raw[5], 0u);   // player window, at offset 20
    EXPECT_EQ(raw[6], 0u);   // module instance, at offset 24
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

namespace {

// second_player.exe: a second player process that loads the plug-in after ours.
struct SecondPlayer {
    PROCESS_INFORMATION process{};
    HANDLE ready = nullptr;
    HANDLE stop = nullptr;
    HANDLE unplug = nullptr;
};

bool WaitUntilReady(SecondPlayer& second)
{
    HANDLE waits[] = {second.ready, second.process.hProcess};
    return WaitForMultipleObjects(2, waits, FALSE, kWaitMs) == WAIT_OBJECT_0;
}

// With unplugs, it waits to be told to quit its plug-in before it is told to stop.
bool StartSecondPlayer(SecondPlayer& second, bool unplugs = false)
{
    second.ready = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-ready");
    second.stop = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-stop");
    second.unplug = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-unplug");
    std::string command = "second_player.exe velmora-test-second-ready velmora-test-second-stop";
    if (unplugs)
        command += " velmora-test-second-unplug";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &second.process) && WaitUntilReady(second);
}

// It quits its plug-in and keeps its window, as a player does when the user unloads a plug-in.
bool UnplugSecondPlayer(SecondPlayer& second)
{
    ResetEvent(second.ready);
    SetEvent(second.unplug);
    return WaitUntilReady(second);
}

// Lets it quit; the number of commands its player received.
DWORD StopSecondPlayer(SecondPlayer& second)
{
    SetEvent(second.stop);
    DWORD commands = 255;
    WaitForSingleObject(second.process.hProcess, kWaitMs);
    GetExitCodeProcess(second.process.hProcess, &commands);
    CloseHandle(second.process.hThread);
    CloseHandle(second.process.hProcess);
    CloseHandle(second.ready);
    CloseHandle(second.stop);
    CloseHandle(second.unplug);
    return commands;
}

}  // namespace

TEST_F(LoadedDll, TwoPlayersGiveOneCommandPerKeyWhicheverQuitsFirst)
{
    enum Order { kOursQuitsFirst, kLaterQuitsFirst, kLaterUnloadsThePlugInOnly };
    for (Order order : {kOursQuitsFirst, kLaterQuitsFirst, kLaterUnloadsThePlugInOnly}) {
        SCOPED_TRACE(order == kOursQuitsFirst    ? "the earlier player quits first"
                     : order == kLaterQuitsFirst ? "the later one does"
                                                 : "the later one unloads the plug-in only");
        ASSERT_TRUE(LoadPlugin(plugin, player.window));
        SecondPlayer second;
        ASSERT_TRUE(StartSecondPlayer(second, order == kLaterUnloadsThePlugInOnly));
        HWND secondWindow = FindWindowA(nullptr, "Velmora second player");
        HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "{E75274E5-CAAD-4a4f-9CE0-EAD3146D3810}");
        ASSERT_NE(mapping, nullptr);
        const DWORD* record = static_cast<const DWORD*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record[1], reinterpret_cast<DWORD>(secondWindow));   // the one installed last
        EXPECT_NE(record[0], 0u);
        UnmapViewOfFile(record);
        CloseHandle(mapping);

        // Passed on by both: our hook's first call, which takes the later player's record.
        TapKey(VK_VOLUME_UP);
        TapKey(VK_MEDIA_STOP);   // answered by the later player's hook, the newer one
        SettlePlayer(player);
        if (order == kOursQuitsFirst) {
            UnloadPlugin(plugin);
            // No hook of ours left in unloaded code, and the other player's hook still there.
            TapKey(VK_VOLUME_UP);
            TapKey(VK_MEDIA_STOP);
            EXPECT_EQ(StopSecondPlayer(second), 2u);
            EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
        } else {
            // Its window gone with it, or still there without the plug-in: ours answers.
            if (order == kLaterQuitsFirst) {
                EXPECT_EQ(StopSecondPlayer(second), 1u);
            } else {
                ASSERT_TRUE(UnplugSecondPlayer(second));
            }
            TapKey(VK_MEDIA_STOP);
            EXPECT_TRUE(PumpUntil([&] { return !CommandsOf(player).empty(); }));
            SettlePlayer(player);
            EXPECT_EQ(CommandsOf(player), std::vector<UINT>{40047});
            if (order == kLaterUnloadsThePlugInOnly) {
                EXPECT_EQ(StopSecondPlayer(second), 1u);
            }
            UnloadPlugin(plugin);
        }
        ForgetReceived(player);
    }
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
