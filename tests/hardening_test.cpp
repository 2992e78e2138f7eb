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
