// Start-up, shutdown and the key settings store of the linked plug-in.
#include "plugin_fixture.h"

namespace {

using Lifecycle = PluginTest;
using KeySettings = PluginTest;

constexpr UINT kCtrlAlt = MOD_CONTROL | MOD_ALT;

// Another program's window, as a hotkey owner.
HWND CreateOtherWindow()
{
    return CreateWindowExA(0, "STATIC", "other", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

DWORD StoredDword(const char* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_TRUE(ReadStoredValue(name, &type, &data)) << name;
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
    EXPECT_EQ(data.size(), 4u) << name;
    DWORD value = 0xFFFFFFFF;
    if (data.size() == 4)
        CopyMemory(&value, data.data(), 4);
    return value;
}

}  // namespace

TEST_F(Lifecycle, HotkeysAreHeldFromInitUntilQuit)
{
    StartPlugin();
    HWND other = CreateOtherWindow();
    EXPECT_FALSE(RegisterHotKey(other, 1, kCtrlAlt, VK_NEXT));
    EXPECT_FALSE(RegisterHotKey(other, 2, kCtrlAlt, VK_PRIOR));
    StopPlugin();
    EXPECT_TRUE(RegisterHotKey(other, 1, kCtrlAlt, VK_NEXT));
    EXPECT_TRUE(RegisterHotKey(other, 2, kCtrlAlt, VK_PRIOR));
    UnregisterHotKey(other, 1);
    UnregisterHotKey(other, 2);
    DestroyWindow(other);
}

TEST_F(Lifecycle, HotkeyHeldElsewhereCostsNothingElse)
{
    HWND other = CreateOtherWindow();
    ASSERT_TRUE(RegisterHotKey(other, 1, kCtrlAlt, VK_NEXT));
    StartPlugin();   // expects 0
    EXPECT_NE(gState.hook.hook, nullptr);
    TapWithCtrlAlt(VK_PRIOR);
    TapKey(VK_MEDIA_STOP);
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40044, 40047}));
    UnregisterHotKey(other, 1);
    DestroyWindow(other);
}

TEST_F(Lifecycle, QuitHandsThePlayerWindowItsOwnProcedureBack)
{
    LONG original = GetWindowLongA(player.window, GWL_WNDPROC);
    StartPlugin();
    EXPECT_NE(GetWindowLongA(player.window, GWL_WNDPROC), original);
    StopPlugin();
    EXPECT_EQ(GetWindowLongA(player.window, GWL_WNDPROC), original);
    ForgetReceived(player);
    SendMessageA(player.window, WM_USER, 0, 104);
    EXPECT_EQ(QueriesOf(player), (std::vector<LPARAM>{104}));
}

namespace {

WNDPROC gChainedProc;
int gChainedCalls;

LRESULT CALLBACK LaterSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    ++gChainedCalls;
    return CallWindowProcA(gChainedProc, hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(Lifecycle, QuitLeavesALaterSubclassChainWhole)
{
    StartPlugin();
    gChainedProc = reinterpret_cast<WNDPROC>(SetWindowLongA(
        player.window, GWL_WNDPROC, reinterpret_cast<LONG>(LaterSubclassProc)));
    StopPlugin();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(player.window, GWL_WNDPROC)),
              LaterSubclassProc);
    gChainedCalls = 0;
    ForgetReceived(player);
    SendMessageA(player.window, WM_USER, 0, 105);
    EXPECT_EQ(gChainedCalls, 1);
    EXPECT_EQ(QueriesOf(player), (std::vector<LPARAM>{105}));
    SetWindowLongA(player.window, GWL_WNDPROC, reinterpret_cast<LONG>(gChainedProc));
}

TEST_F(KeySettings, MissingKeyGivesDefaultsAndIsCreatedEmpty)
{
    ASSERT_EQ(CountStoredValues(), -1);
    LoadKeyFlags();
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(CountStoredValues(), 0);
}

TEST_F(KeySettings, NonzeroDwordLoadsAsOneAndIsSavedAsOne)
{
    SeedDword("Key_Stop", 5);
    SeedDword("Key_Play", 0);
    SeedDword("Key_VolUp", 0x100);
    LoadKeyFlags();
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{0, 1, 1, 1, 1, 0}));
    SaveKeyFlags();
    EXPECT_EQ(StoredDword("Key_Stop"), 1u);
    EXPECT_EQ(StoredDword("Key_Play"), 0u);
    EXPECT_EQ(StoredDword("Key_VolUp"), 1u);
}

TEST_F(KeySettings, ValuesLongerThanFourBytesLoadAsTheirDefault)
{
    unsigned long long eight = 0;   // zero bytes, so only the default can make a 1
    unsigned long long ones = ~0ull;
    SeedValue("Key_Next", REG_BINARY, &eight, 8);
    SeedValue("Key_VolDown", REG_QWORD, &ones, 8);
    LoadKeyFlags();
    EXPECT_EQ(gState.keys.Key_Next, 1);
    EXPECT_EQ(gState.keys.Key_VolDown, 0);
}

TEST_F(KeySettings, ShortValuesReadAsOneExactlyWhenABytePresentIsNonzero)
{
    BYTE oneByteZero = 0, oneByteSet = 7;
    BYTE twoBytesHigh[2] = {0, 1}, twoBytesZero[2] = {0, 0};
    SeedValue("Key_Play", REG_BINARY, &oneByteZero, 1);
    SeedValue("Key_Stop", REG_BINARY, twoBytesZero, 2);
    SeedValue("Key_VolUp", REG_BINARY, &oneByteSet, 1);
    SeedValue("Key_VolDown", REG_BINARY, twoBytesHigh, 2);
    SeedValue("Key_Prev", REG_SZ, "0", 2);   // '0' is a nonzero byte
    SeedValue("Key_Next", REG_SZ, "", 1);
    for (int round = 0; round < 2; ++round) {   // nothing left over from an earlier read
        LoadKeyFlags();
        EXPECT_EQ(FlagsInMemory(), (std::vector<int>{0, 0, 1, 0, 1, 1}));
    }
}

TEST_F(KeySettings, SaveWritesAllSixAsDwords)
{
    LoadKeyFlags();
    SaveKeyFlags();
    EXPECT_EQ(CountStoredValues(), 6);
    const char* names[] = {"Key_Play", "Key_Stop", "Key_Prev", "Key_Next", "Key_VolUp",
                           "Key_VolDown"};
    std::vector<DWORD> stored;
    for (const char* name : names)
        stored.push_back(StoredDword(name));
    EXPECT_EQ(stored, (std::vector<DWORD>{1, 1, 1, 1, 0, 0}));
}

TEST_F(KeySettings, OnlyAFlagOfExactlyOneIsSavedAsOne)
{
    gState.keys = {1, 2, -1, 0, 1, 0};
    SaveKeyFlags();
    EXPECT_EQ(StoredDword("Key_Play"), 1u);
    EXPECT_EQ(StoredDword("Key_Stop"), 0u);
    EXPECT_EQ(StoredDword("Key_Prev"), 0u);
}

TEST_F(KeySettings, InitLoadsTheStoredChoice)
{
    SeedDword("Key_Play", 0);
    SeedDword("Key_VolUp", 1);
    StartPlugin();
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(CountStoredValues(), 2);   // loading writes nothing
}
