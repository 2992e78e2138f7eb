// Start-up, shutdown and the key settings store of the linked plug-in.
#include <string>

#include "plugin_fixture.h"

namespace {

using Lifecycle = PluginTest;
using KeySettings = PluginTest;

constexpr UINT kCtrlAlt = MOD_CONTROL | MOD_ALT;

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

struct OddValue {
    BYTE fill;
    int defaultFlag;
};

// Zero and nonzero contents side by side, for keys whose default is 1 and keys whose default is
// 0; in the order of kKeyValueNames.
constexpr OddValue kOddValues[] = {{0x00, 1}, {0xFF, 1}, {0x00, 1}, {0x01, 1}, {0x00, 0}, {0x80, 0}};

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
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
    TapWithCtrlAlt(VK_PRIOR);
    TapKey(VK_MEDIA_STOP);
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40044, 40047}));
    UnregisterHotKey(other, 1);
    DestroyWindow(other);
}

// The player's window is Unicode; other hosts' may be ANSI. Either keeps its character set and
// any title it sets while the plug-in runs.
TEST_F(Lifecycle, PlayerWindowKeepsItsTitleAndCharacterSetUntilQuitHandsItsOwnProcedureBack)
{
    for (PlayerCharset charset : {kUnicode, kAnsi}) {
        SCOPED_TRACE(charset == kUnicode ? "Unicode window" : "ANSI window");
        RecreatePlayer(charset);
        LONG_PTR original = WindowProcOf(player.window);
        EXPECT_EQ(TitleFault(player, 11), "") << "before init";
        StartPlugin();
        EXPECT_NE(WindowProcOf(player.window), original);
        EXPECT_EQ(TitleFault(player, 12), "") << "after init";
        TapKey(VK_MEDIA_STOP);
        SettlePlayer(player);
        EXPECT_EQ(TitleFault(player, 13), "") << "after a key";
        TapWithCtrlAlt(VK_NEXT);
        SettlePlayer(player);
        EXPECT_EQ(TitleFault(player, 14), "") << "after a hotkey";
        EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40047, 40048}));
        StopPlugin();
        EXPECT_EQ(WindowProcOf(player.window), original);
        EXPECT_EQ(TitleFault(player, 15), "") << "after quit";
        ForgetReceived(player);
        SendMessageA(player.window, WM_USER, 0, 104);
        EXPECT_EQ(QueriesOf(player), (std::vector<LPARAM>{104}));
    }
}

namespace {

WNDPROC gChainedProc;
int gChainedCalls;

LRESULT CALLBACK LaterSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    ++gChainedCalls;
    return CallWindowProcW(gChainedProc, hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(Lifecycle, QuitLeavesALaterSubclassChainWhole)
{
    StartPlugin();
    gChainedProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        player.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    StopPlugin();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(WindowProcOf(player.window)), LaterSubclassProc);
    gChainedCalls = 0;
    ForgetReceived(player);
    SendMessageA(player.window, WM_USER, 0, 105);
    EXPECT_EQ(gChainedCalls, 1);
    EXPECT_EQ(QueriesOf(player), (std::vector<LPARAM>{105}));
    EXPECT_EQ(TitleFault(player, 3), "");   // through the chain we stay in
    SetWindowLongPtrW(player.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gChainedProc));
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
    ASSERT_TRUE(SeedDword("Key_Stop", 5));
    ASSERT_TRUE(SeedDword("Key_Play", 0));
    ASSERT_TRUE(SeedDword("Key_VolUp", 0x100));
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
    ASSERT_TRUE(SeedValue("Key_Next", REG_BINARY, &eight, 8));
    ASSERT_TRUE(SeedValue("Key_VolDown", REG_QWORD, &ones, 8));
    LoadKeyFlags();
    EXPECT_EQ(gState.keys.Key_Next, 1);
    EXPECT_EQ(gState.keys.Key_VolDown, 0);
}

TEST_F(KeySettings, ShortValuesReadAsOneExactlyWhenABytePresentIsNonzero)
{
    BYTE oneByteZero = 0, oneByteSet = 7;
    BYTE twoBytesHigh[2] = {0, 1}, twoBytesZero[2] = {0, 0};
    ASSERT_TRUE(SeedValue("Key_Play", REG_BINARY, &oneByteZero, 1));
    ASSERT_TRUE(SeedValue("Key_Stop", REG_BINARY, twoBytesZero, 2));
    ASSERT_TRUE(SeedValue("Key_VolUp", REG_BINARY, &oneByteSet, 1));
    ASSERT_TRUE(SeedValue("Key_VolDown", REG_BINARY, twoBytesHigh, 2));
    ASSERT_TRUE(SeedValue("Key_Prev", REG_SZ, "0", 2));   // '0' is a nonzero byte
    ASSERT_TRUE(SeedValue("Key_Next", REG_SZ, "", 1));
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
    std::vector<DWORD> stored;
    for (const char* name : kKeyValueNames)
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
    ASSERT_TRUE(SeedDword("Key_Play", 0));
    ASSERT_TRUE(SeedDword("Key_VolUp", 1));
    StartPlugin();
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(CountStoredValues(), 2);   // loading writes nothing
}

TEST_F(KeySettings, ValuesOfAnyTypeAndSizeLoadAsZeroOrOneAndSaveAsSixCleanDwords)
{
    const DWORD types[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                           REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST,
                           REG_FULL_RESOURCE_DESCRIPTOR, REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD,
                           0x1234};
    const DWORD sizes[] = {0, 1, 2, 3, 4, 5, 8, 1000};
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    for (DWORD type : types) {
        for (DWORD size : sizes) {
            SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
            for (int i = 0; i < 6; ++i) {
                std::vector<BYTE> data(size + 1, kOddValues[i].fill);
                ASSERT_EQ(RegSetValueExA(key, kKeyValueNames[i], 0, type, data.data(), size),
                          ERROR_SUCCESS);
            }
            gState.keys = {7, 7, 7, 7, 7, 7};   // every flag must be replaced by 0 or 1
            LoadKeyFlags();
            std::vector<int> flags = FlagsInMemory();
            for (int i = 0; i < 6; ++i) {
                int flag = flags[i];
                EXPECT_TRUE(flag == 0 || flag == 1) << kKeyValueNames[i] << " = " << flag;
                // Text goes through a code-page conversion, so only its 0-or-1 is certain.
                if (IsTextType(type))
                    continue;
                int expected = size > 4 ? kOddValues[i].defaultFlag : (size > 0 && kOddValues[i].fill);
                EXPECT_EQ(flag, expected) << kKeyValueNames[i];
            }
            SaveKeyFlags();
            for (int i = 0; i < 6; ++i) {
                DWORD storedType = 0, value = 0xDEAD, storedSize = sizeof value;
                ASSERT_EQ(RegQueryValueExA(key, kKeyValueNames[i], nullptr, &storedType,
                                           reinterpret_cast<BYTE*>(&value), &storedSize), ERROR_SUCCESS);
                EXPECT_EQ(storedType, static_cast<DWORD>(REG_DWORD));
                EXPECT_EQ(storedSize, 4u);
                EXPECT_EQ(static_cast<int>(value), flags[i]) << kKeyValueNames[i];
            }
        }
    }
    RegCloseKey(key);
}
