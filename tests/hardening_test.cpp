// The linked plug-in under bad input: odd registry values, garbage messages, overlong links.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "host/host.h"
#include "shell_open_stub.h"
#include "ui/ui.h"

namespace {

constexpr char kSettingsKey[] = "SOFTWARE\\Dravnik\\Velmora";

struct OddValue {
    const char* name;
    BYTE fill;
    int defaultFlag;
};

// Zero and nonzero contents side by side, for keys whose default is 1 and keys whose default is 0.
constexpr OddValue kOddValues[] = {
    {"Key_Play", 0x00, 1}, {"Key_Stop", 0xFF, 1}, {"Key_Prev", 0x00, 1},
    {"Key_Next", 0x01, 1}, {"Key_VolUp", 0x00, 0}, {"Key_VolDown", 0x80, 0},
};

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

using KeySettingsHardening = PluginTest;

TEST_F(KeySettingsHardening, ValuesOfAnyTypeAndSizeLoadAsZeroOrOneAndSaveAsSixCleanDwords)
{
    const DWORD types[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                           REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST,
                           REG_FULL_RESOURCE_DESCRIPTOR, REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD,
                           0x1234};
    const DWORD sizes[] = {0, 1, 2, 3, 4, 5, 8, 1000};
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    for (DWORD type : types) {
        for (DWORD size : sizes) {
            SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
            for (const OddValue& v : kOddValues) {
                std::vector<BYTE> data(size + 1, v.fill);
                ASSERT_EQ(RegSetValueExA(key, v.name, 0, type, data.data(), size), ERROR_SUCCESS);
            }
            gState.keys = {7, 7, 7, 7, 7, 7};   // every flag must be replaced by 0 or 1
            LoadKeyFlags();
            std::vector<int> flags = FlagsInMemory();
            for (int i = 0; i < 6; ++i) {
                int flag = flags[i];
                EXPECT_TRUE(flag == 0 || flag == 1) << kOddValues[i].name << " = " << flag;
                // Text goes through a code-page conversion, so only its 0-or-1 is certain.
                if (IsTextType(type))
                    continue;
                int expected = size > 4 ? kOddValues[i].defaultFlag : (size > 0 && kOddValues[i].fill);
                EXPECT_EQ(flag, expected) << kOddValues[i].name;
            }
            SaveKeyFlags();
            for (int i = 0; i < 6; ++i) {
                DWORD storedType = 0, value = 0xDEAD, storedSize = sizeof value;
                ASSERT_EQ(RegQueryValueExA(key, kOddValues[i].name, nullptr, &storedType,
                                           reinterpret_cast<BYTE*>(&value), &storedSize), ERROR_SUCCESS);
                EXPECT_EQ(storedType, static_cast<DWORD>(REG_DWORD));
                EXPECT_EQ(storedSize, 4u);
                EXPECT_EQ(static_cast<int>(value), flags[i]) << kOddValues[i].name;
            }
        }
    }
    RegCloseKey(key);
}

using DispatchHardening = PluginTest;

// What the player may receive for one notification: nothing outside the six keys.
std::vector<UINT> AllowedFor(LPARAM vk)
{
    switch (vk) {
    case 174: return {40059};
    case 175: return {40058};
    case 176: return {40048};
    case 177: return {40044, 40045};
    case 178: return {40047};
    case 179: return {40045, 40046};
    }
    return {};
}

TEST_F(DispatchHardening, GarbageHotkeyAndNotificationParametersGiveOnlyCommandsTheTableAllows)
{
    StartPlugin();
    std::mt19937 random(20240607);
    std::uniform_int_distribution<unsigned> any;
    std::uniform_int_distribution<int> nearKeys(160, 190);
    const LRESULT answers[] = {0, 1, 3, -1, 2, 0x7FFFFFFF, static_cast<LRESULT>(0x80000000)};
    for (int i = 0; i < 4000; ++i) {
        player.playState = answers[any(random) % std::size(answers)];
        player.positionMs = static_cast<LRESULT>(any(random));
        WPARAM wp = any(random);
        LPARAM lp = static_cast<LPARAM>(i % 2 ? any(random) : static_cast<unsigned>(nearKeys(random)));
        ForgetReceived(player);
        if (i % 3 == 0) {
            SendMessageA(player.window, WM_HOTKEY, wp, lp);
            std::vector<UINT> expected;
            if (LOWORD(wp) == 0x9000)
                expected = {40048};
            if (LOWORD(wp) == 0x9001)
                expected = {40044};
            ASSERT_EQ(CommandsOf(player), expected) << "hotkey wp " << wp;
            ASSERT_EQ(CountOf(player, WM_HOTKEY), 1);
            continue;
        }
        EXPECT_EQ(SendMessageA(player.window, gState.notifyMessage, wp, lp), 0);
        std::vector<UINT> commands = CommandsOf(player);
        std::vector<UINT> allowed = AllowedFor(lp);
        ASSERT_EQ(commands.size(), allowed.empty() ? 0u : 1u) << "notification lp " << lp;
        if (!commands.empty()) {
            ASSERT_NE(std::find(allowed.begin(), allowed.end(), commands[0]), allowed.end()) << lp;
        }
        ASSERT_EQ(CountOf(player, gState.notifyMessage), 0);
    }
}

// A plain window with one static text, id 1001, standing in for the About page.
class LinkHardening : public testing::Test {
protected:
    void SetUp() override
    {
        gOpenedLinks.clear();
        dialog = CreateWindowExA(0, "STATIC", "page", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(dialog, nullptr);
        link = CreateWindowExA(0, "STATIC", "https://shown.example/", WS_CHILD | WS_VISIBLE | SS_CENTER,
                               10, 10, 300, 20, dialog, reinterpret_cast<HMENU>(1001),
                               GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(link, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(dialog);
        gOpenedLinks.clear();
    }
    void Click()
    {
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    HWND dialog = nullptr;
    HWND link = nullptr;
};

TEST_F(LinkHardening, TenThousandCharacterTargetIsCutTo200AndNullTargetOpensTheShownText)
{
    std::string huge(10000, 'x');
    huge.replace(0, 8, "https://");
    ASSERT_EQ(MakeHyperlink(dialog, 1001, huge.c_str()), 1);
    auto* record = reinterpret_cast<HyperlinkData*>(GetWindowLongA(link, GWL_USERDATA));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::strlen(record->target), 200u);
    Click();
    ASSERT_EQ(gOpenedLinks.size(), 1u);
    EXPECT_EQ(gOpenedLinks[0], huge.substr(0, 200));
    DestroyWindow(link);

    // No target, and then a shown text far longer than the link's own buffers.
    link = CreateWindowExA(0, "STATIC", "https://shown.example/", WS_CHILD | WS_VISIBLE, 10, 40, 300,
                           20, dialog, reinterpret_cast<HMENU>(1001), GetModuleHandleA(nullptr), nullptr);
    ASSERT_EQ(MakeHyperlink(dialog, 1001, nullptr), 1);
    Click();
    SetWindowTextA(link, huge.c_str());
    UpdateWindow(link);   // paints the overlong text
    Click();
    ASSERT_EQ(gOpenedLinks.size(), 3u);
    EXPECT_EQ(gOpenedLinks[1], "https://shown.example/");
    EXPECT_EQ(gOpenedLinks[2], huge.substr(0, 200));
}

}  // namespace
