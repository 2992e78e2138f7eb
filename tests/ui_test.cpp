// The configuration sheet and the hyperlink, driven the way a user drives them: the real modal
// sheet from a second thread, real mouse input on the link, the real shell open from the DLL.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "plugin_fixture.h"
#include "shell_open_stub.h"
#include "host/host.h"
#include "plugin/lifecycle.h"
#include "ui/ui.h"

namespace {

constexpr int kApplyButton = 0x3021;

// The six stored values in registry order; -1 where a value is absent.
std::vector<long> StoredFlags()
{
    std::vector<long> values;
    for (const char* name : kKeyValueNames) {
        DWORD value = 0, size = sizeof value;
        bool found = RegGetValueA(HKEY_CURRENT_USER, kVelmoraKey, name, RRF_RT_REG_DWORD, nullptr,
                                  &value, &size) == ERROR_SUCCESS;
        values.push_back(found ? static_cast<long>(value) : -1);
    }
    return values;
}
const std::vector<long> kNothingStored(6, -1);

// Polls from a thread that pumps nothing; bounded.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(10))
        if (done())
            return true;
    return done();
}

HWND CurrentPage(HWND sheet)
{
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

HWND WaitForSheet()
{
    HWND sheet = nullptr;
    WaitUntil([&] {
        sheet = FindWindowA("#32770", "Velmora");
        return sheet && CurrentPage(sheet);
    });
    return sheet && CurrentPage(sheet) ? sheet : nullptr;
}

// Runs `run` (which shows the modal sheet) on this thread while `steps` drives the sheet from
// another, which then closes it with `closeWith`.
void DriveSheet(int closeWith, const std::function<void(HWND sheet)>& steps,
                const std::function<void()>& run = RunConfigSheet)
{
    std::thread driver([&] {
        HWND sheet = WaitForSheet();
        if (!sheet)
            return;
        steps(sheet);
        SendMessageA(sheet, PSM_PRESSBUTTON, closeWith, 0);
        PostMessageA(sheet, WM_NULL, 0, 0);   // the modal loop looks only when a message comes
    });
    run();
    driver.join();
}

bool IsChecked(HWND page, int id)
{
    return SendMessageA(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool ApplyEnabled(HWND sheet)
{
    return IsWindowEnabled(GetDlgItem(sheet, kApplyButton));
}

void Click(HWND page, int id)
{
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
}

// Moved as a real mouse moves, so the window under the pointer hears of it.
void MouseTo(int x, int y)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void MouseButton(DWORD flag)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof input);
}

// A real left click near the left edge of a control, where a check box has its box.
void MouseClick(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MouseTo(r.left + 5, (r.top + r.bottom) / 2);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
}

// A real left click on a tab of the sheet, which switches pages on the press.
void MouseClickTab(HWND sheet, int index)
{
    HWND tab = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
    RECT r{};
    SendMessageA(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(tab, nullptr, reinterpret_cast<POINT*>(&r), 2);
    MouseTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
}

// The player with its window and descriptor as the player fills them (the templates are linked
// into the test), the settings key absent.
using ConfigSheetTest = PluginTest;
using ConfigurationSheet = ConfigSheetTest;
using SettingsPage = ConfigSheetTest;

}  // namespace

TEST_F(ConfigurationSheet, OpensOverThePlayerOnSettingsWithSettingsThenAboutTabs)
{
    HWND owner = nullptr;
    LONG style = 0, exStyle = 0;
    std::vector<std::string> tabs;
    int selected = -1;
    bool settingsShown = false, linkOnAbout = false;
    std::string homepage;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        owner = GetWindow(sheet, GW_OWNER);
        style = GetWindowLongA(sheet, GWL_STYLE);
        exStyle = GetWindowLongA(sheet, GWL_EXSTYLE);
        HWND tab = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
        for (int i = 0; i < TabCtrl_GetItemCount(tab); ++i) {
            char text[64] = {};
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
            tabs.push_back(text);
        }
        selected = TabCtrl_GetCurSel(tab);
        settingsShown = GetDlgItem(CurrentPage(sheet), 1002) != nullptr;
        SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
        HWND link = GetDlgItem(CurrentPage(sheet), 1001);
        char text[256] = {};
        GetWindowTextA(link, text, sizeof text);
        homepage = text;
        linkOnAbout = GetWindowLongA(link, GWL_WNDPROC) == reinterpret_cast<LONG>(HyperlinkWindowProc);
    }, PluginConfig);
    EXPECT_EQ(owner, player.window);
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_FALSE(exStyle & WS_EX_CONTEXTHELP);
    EXPECT_EQ(tabs, (std::vector<std::string>{"Settings", "About"}));
    EXPECT_EQ(selected, 0);
    EXPECT_TRUE(settingsShown);
    EXPECT_TRUE(linkOnAbout);
    EXPECT_EQ(homepage.rfind("https://", 0), 0u) << homepage;
}

namespace {

// The keyboard focus of the sheet's thread, seen from the thread that drives it.
HWND FocusOf(HWND sheet)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(sheet, nullptr), &info);
    return info.hwndFocus;
}

// Real Tab presses, one at a time, until the focus is on `target`. Input is handled in order, so
// by then every key pressed before has been handled in full. A key that closed the sheet ends it.
bool TabTo(HWND sheet, HWND target)
{
    for (int presses = 0; presses < 8 && IsWindow(sheet) && FocusOf(sheet) != target; ++presses) {
        HWND before = FocusOf(sheet);
        TapKey(VK_TAB);
        WaitUntil([&] { return !IsWindow(sheet) || FocusOf(sheet) != before; }, kWaitMs);
    }
    return FocusOf(sheet) == target;
}

}  // namespace

TEST_F(ConfigurationSheet, TabReachesTheAboutLinkWhereEnterAndSpaceOpenItShiftTabGoesBackAndEscCloses)
{
    gOpenedLinks.clear();
    bool reached = false, backToTabs = false, closedByEsc = false;
    size_t afterEnter = 0, afterSpace = 0;
    char shown[256] = {};
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        SetForegroundWindow(sheet);
        SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
        HWND link = GetDlgItem(CurrentPage(sheet), 1001), ok = GetDlgItem(sheet, IDOK);
        GetWindowTextA(link, shown, sizeof shown);
        reached = TabTo(sheet, ok) && TabTo(sheet, link);
        TapKey(VK_RETURN);
        TabTo(sheet, ok);
        afterEnter = gOpenedLinks.size();
        TabTo(sheet, link);
        TapKey(VK_SPACE);
        TabTo(sheet, ok);
        afterSpace = gOpenedLinks.size();
        TabTo(sheet, link);
        InjectKey(VK_SHIFT, false);
        TapKey(VK_TAB);
        InjectKey(VK_SHIFT, true);
        HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
        backToTabs = WaitUntil([&] { return FocusOf(sheet) == tabs; });
        TapKey(VK_ESCAPE);
        closedByEsc = WaitUntil([&] { return !IsWindow(sheet); });
    });
    ASSERT_TRUE(reached) << "Tab never brought the focus to the link";
    EXPECT_EQ(afterEnter, 1u);
    EXPECT_EQ(afterSpace, 2u);
    EXPECT_TRUE(backToTabs);
    EXPECT_TRUE(closedByEsc);
    EXPECT_EQ(gOpenedLinks, std::vector<std::string>(2, shown));
    gOpenedLinks.clear();
}

TEST_F(SettingsPage, ShowsTheFlagsInMemoryAndTheFixedHotkeyBoxesIgnoreClicks)
{
    gState.keys = {1, 0, 1, 0, 1, 0};
    std::vector<bool> shown, afterHotkeyClicks;
    bool hotkeyBoxesEnabled = true, applyAfterHotkeyClicks = true, realClickLanded = false;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        HWND page = CurrentPage(sheet);
        for (int id = 1002; id <= 1009; ++id)
            shown.push_back(IsChecked(page, id));
        hotkeyBoxesEnabled = IsWindowEnabled(GetDlgItem(page, 1008)) || IsWindowEnabled(GetDlgItem(page, 1009));
        MouseClick(GetDlgItem(page, 1008));
        MouseClick(GetDlgItem(page, 1009));
        // Input is handled in order: once this click shows, the two before it were handled. It
        // leaves the Settings page and Apply as they were.
        MouseClickTab(sheet, 1);
        realClickLanded = WaitUntil([&] { return CurrentPage(sheet) != page; });
        afterHotkeyClicks = {IsChecked(page, 1008), IsChecked(page, 1009)};
        applyAfterHotkeyClicks = ApplyEnabled(sheet);
    });
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, true, false, true, false}));
    EXPECT_FALSE(hotkeyBoxesEnabled);
    ASSERT_TRUE(realClickLanded) << "a real mouse click never reached the sheet";
    EXPECT_EQ(afterHotkeyClicks, (std::vector<bool>{true, false}));
    EXPECT_FALSE(applyAfterHotkeyClicks);
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(StoredFlags(), kNothingStored);
}

TEST_F(SettingsPage, EveryKeyBoxEnablesApplyAndCancelWritesNothing)
{
    LoadKeyFlags();   // the defaults: the four track keys on, the volume keys off
    std::vector<bool> applyAfterClick;
    bool applyAfterOtherCommands = true;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        HWND page = CurrentPage(sheet);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(1008, BN_CLICKED), 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageA(page, WM_NOTIFY, 0, 0);   // a malformed notification is ignored
        applyAfterOtherCommands = ApplyEnabled(sheet);
        for (int id = 1002; id <= 1007; ++id) {
            Click(page, id);
            applyAfterClick.push_back(ApplyEnabled(sheet));
            SendMessageA(sheet, PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
        }
        Click(page, 1006);   // Volume Up on, then Cancel
    });
    EXPECT_FALSE(applyAfterOtherCommands);
    EXPECT_EQ(applyAfterClick, std::vector<bool>(6, true));
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(StoredFlags(), kNothingStored);
}

namespace {

void PressKey(PlayerDouble& player, WORD vk)
{
    TapKey(vk);
    SettlePlayer(player);
}

}  // namespace

TEST_F(SettingsPage, ApplyStoresAllSixAndTheNextPlayKeyPassesToOtherPrograms)
{
    PeekMessageA(nullptr, nullptr, 0, 0, PM_NOREMOVE);
    InstallObserver();   // sees what the plug-in's newer hook lets through
    PluginInit();
    PressKey(player, VK_MEDIA_PLAY_PAUSE);
    std::vector<UINT> commandsBefore = CommandsOf(player);
    size_t passedBefore = Observed().size();
    ForgetReceived(player);

    bool applyAfterClick = false, applyAfterApply = true;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        HWND page = CurrentPage(sheet);
        Click(page, 1002);
        applyAfterClick = ApplyEnabled(sheet);
        SendMessageA(GetDlgItem(sheet, kApplyButton), BM_CLICK, 0, 0);
        applyAfterApply = ApplyEnabled(sheet);
    });
    std::vector<long> stored = StoredFlags();
    PressKey(player, VK_MEDIA_PLAY_PAUSE);
    PluginQuit();
    RemoveObserver();

    EXPECT_EQ(commandsBefore, (std::vector<UINT>{40045}));   // answered while the flag was on
    EXPECT_EQ(passedBefore, 0u);
    EXPECT_TRUE(applyAfterClick);
    EXPECT_FALSE(applyAfterApply);
    EXPECT_EQ(stored, (std::vector<long>{0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(gState.keys.Key_Play, 0);
    EXPECT_EQ(Observed().size(), 2u);
    EXPECT_EQ(ObservedCount(179, WM_KEYDOWN), 1);
    EXPECT_EQ(ObservedCount(179, WM_KEYUP), 1);
    EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
}

TEST_F(SettingsPage, OkAppliesEvenWhenNothingCanBeStoredAndTheNextSheetStartsFromTheAppliedFlags)
{
    LoadKeyFlags();
    DriveSheet(PSBTN_OK, [&](HWND sheet) { Click(CurrentPage(sheet), 1006); });
    EXPECT_EQ(StoredFlags(), (std::vector<long>{1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{1, 1, 1, 1, 1, 0}));

    // An unsaved change is forgotten: the page reads the flags again each time it opens.
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) { Click(CurrentPage(sheet), 1002); });
    bool volumeUpShown = false, playShown = false;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        volumeUpShown = IsChecked(CurrentPage(sheet), 1006);
        playShown = IsChecked(CurrentPage(sheet), 1002);
    });
    EXPECT_TRUE(volumeUpShown);
    EXPECT_TRUE(playShown);

    // The key cannot be made under a volatile parent: OK still applies in memory, stores nothing.
    DeleteSettingsTree();
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &parent, nullptr), ERROR_SUCCESS);
    RegCloseKey(parent);
    DriveSheet(PSBTN_OK, [&](HWND sheet) { Click(CurrentPage(sheet), 1007); });
    EXPECT_EQ(FlagsInMemory(), (std::vector<int>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(StoredFlags(), kNothingStored);
}

namespace {

int CountSheets()
{
    int count = 0;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", "Velmora")) != nullptr;)
        ++count;
    return count;
}

std::vector<bool> KeyBoxesShown(HWND sheet)
{
    std::vector<bool> shown;
    for (int id = 1002; id <= 1007; ++id)
        shown.push_back(IsChecked(CurrentPage(sheet), id));
    return shown;
}

// The player's Preferences window: the sheet leaves it enabled, so its Configure button calls
// config again, from inside the sheet's modal loop.
constexpr UINT kConfigureClicked = WM_APP;
std::atomic<int> gConfigReturns;

LRESULT CALLBACK PreferencesProc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != kConfigureClicked)
        return DefWindowProcA(window, msg, wp, lp);
    SetForegroundWindow(window);   // the click activated it
    PluginConfig();
    ++gConfigReturns;
    return 0;
}

}  // namespace

TEST_F(ConfigurationSheet, ConfigAgainWhileOpenRaisesThatSheetWhoseOkStoresWhatItShows)
{
    LoadKeyFlags();   // the four track keys on, the volume keys off
    HWND preferences = CreateFocusedWindow(PreferencesProc, "VelmoraPreferences");
    ASSERT_NE(preferences, nullptr);
    gConfigReturns = 0;
    int sheetsAfterAgain = 0, returnsWhileOpen = 0;
    bool raised = false, restored = false;
    std::vector<bool> shown;
    DriveSheet(PSBTN_OK, [&](HWND sheet) {
        Click(CurrentPage(sheet), 1006);
        ShowWindow(sheet, SW_MINIMIZE);   // and Preferences comes to the front with the click
        PostMessageA(preferences, kConfigureClicked, 0, 0);
        WaitUntil([&] { return gConfigReturns > 0 || CountSheets() > 1; });
        returnsWhileOpen = gConfigReturns;
        sheetsAfterAgain = CountSheets();
        raised = GetForegroundWindow() == sheet;
        restored = IsWindowVisible(sheet) && !IsIconic(sheet);
        // The user goes on in the sheet in front, then presses its OK.
        HWND front = WaitForSheet();
        Click(CurrentPage(front), 1007);
        shown = KeyBoxesShown(front);
        SendMessageA(front, PSM_PRESSBUTTON, PSBTN_OK, 0);
        PostMessageA(front, WM_NULL, 0, 0);
        WaitUntil([&] { return !IsWindow(front); });
    }, PluginConfig);
    std::vector<long> stored = StoredFlags();
    std::vector<long> storedShown;
    for (bool box : shown)
        storedShown.push_back(box);

    // A sheet that cannot be made (its owner is gone) does not leave config taking it for open:
    // the call after it opens a fresh sheet, from the applied flags.
    HWND gone = CreateOtherWindow();
    DestroyWindow(gone);
    gState.plugin.hwndParent = gone;
    PluginConfig();
    gState.plugin.hwndParent = player.window;
    int sheetsAfterFailure = CountSheets();
    std::vector<bool> shownNext;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) { shownNext = KeyBoxesShown(sheet); }, PluginConfig);
    DestroyWindow(preferences);

    EXPECT_EQ(returnsWhileOpen, 1);
    EXPECT_EQ(sheetsAfterAgain, 1);
    EXPECT_TRUE(raised);
    EXPECT_TRUE(restored);
    EXPECT_EQ(shown, (std::vector<bool>{true, true, true, true, true, true}));
    EXPECT_EQ(stored, storedShown);
    EXPECT_EQ(sheetsAfterFailure, 0);
    EXPECT_EQ(shownNext, shown);
    EXPECT_EQ(CountSheets(), 0);
}

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Counts DestroyCursor calls on the hand while a test replaces this program's import of it.
int gHandsDestroyed = 0;
BOOL WINAPI CountingDestroyCursor(HCURSOR cursor)
{
    if (cursor == LoadCursorA(nullptr, IDC_HAND))
        ++gHandsDestroyed;
    return TRUE;
}

// Frees as a debug heap does: whatever reads a freed block afterwards reads 0xCC.
using HeapFreeProc = BOOL(WINAPI*)(HANDLE, DWORD, void*);
HeapFreeProc gRealHeapFree = nullptr;
BOOL WINAPI PoisoningHeapFree(HANDLE heap, DWORD flags, void* block)
{
    if (block)
        FillMemory(block, HeapSize(heap, flags, block), 0xCC);
    return gRealHeapFree(heap, flags, block);
}

// The control as it is on screen: pixels of pure blue and where they end on the right, and dark
// pixels (low in blue, which the blue ink and its edges on the light face never are); blue is -1
// when this display cannot be read.
struct Ink {
    int blue = 0;
    int right = 0;
    int dark = 0;
};
Ink InkOf(HWND control)
{
    RECT r;
    GetClientRect(control, &r);
    HDC dc = GetDC(control);
    Ink ink;
    for (int y = r.top; y < r.bottom && ink.blue >= 0; ++y)
        for (int x = r.left; x < r.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == CLR_INVALID) {
                ink.blue = -1;
                break;
            }
            if (c == RGB(0, 0, 255)) {
                ++ink.blue;
                ink.right = std::max(ink.right, x + 1);
            }
            ink.dark += GetBValue(c) < 128;
        }
    ReleaseDC(control, dc);
    return ink;
}

// The About template as a plain dialog, so each test makes its own links.
class Hyperlink : public ::testing::Test {
protected:
    HWND dialog = nullptr;

    void SetUp() override
    {
        gOpenedLinks.clear();
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(101), nullptr,
                                    PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        SetWindowPos(dialog, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        PumpMessages();
    }

    void TearDown() override
    {
        gDuringOpen = nullptr;
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        gOpenedLinks.clear();
    }

    HWND Link() { return GetDlgItem(dialog, 1001); }

    HWND AddStatic(int id, const char* text)
    {
        return CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE, 10, 10 + 12 * (id % 10), 200, 10,
                             dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    void PressAndRelease(HWND control)
    {
        SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
};

POINT CentreOf(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

TEST_F(Hyperlink, AnswersHitTestsAsClientAreaAndShowsTheHand)
{
    ASSERT_EQ(MakeHyperlink(dialog, 1001, "https://example.test/"), 1);
    POINT centre = CentreOf(Link());
    EXPECT_EQ(SendMessageA(Link(), WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)), HTCLIENT);
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageA(Link(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Link()),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    EXPECT_EQ(GetCursor(), hand);
    EXPECT_EQ(WindowFromPoint(centre), Link());   // the mouse finds the link, not the dialog
}

TEST_F(Hyperlink, OpensOnReleaseOverTheLinkOnlyAfterAPressThatBeganOnIt)
{
    ASSERT_EQ(MakeHyperlink(dialog, 1001, "https://example.test/target"), 1);
    POINT onLink = CentreOf(Link());
    // A second press near the first one soon after is a double click, which is not a press.
    POINT alsoOnLink = {onLink.x + 20, onLink.y};
    RECT dialogRect;
    GetWindowRect(dialog, &dialogRect);
    POINT elsewhere = {dialogRect.left + 20, dialogRect.bottom - 8};
    ASSERT_NE(WindowFromPoint(elsewhere), Link());
    auto at = [](POINT p, DWORD button) { MouseTo(p.x, p.y); MouseButton(button); PumpMessages(); };
    std::vector<size_t> opened;

    at(elsewhere, MOUSEEVENTF_LEFTDOWN);   // pressed outside, released over the link
    at(onLink, MOUSEEVENTF_LEFTUP);
    opened.push_back(gOpenedLinks.size());
    at(onLink, MOUSEEVENTF_LEFTDOWN);      // press and release on the link
    at(onLink, MOUSEEVENTF_LEFTUP);
    opened.push_back(gOpenedLinks.size());
    at(onLink, MOUSEEVENTF_LEFTUP);        // a release with no press
    opened.push_back(gOpenedLinks.size());
    at(alsoOnLink, MOUSEEVENTF_LEFTDOWN);  // pressed on the link, released elsewhere: not captured
    at(elsewhere, MOUSEEVENTF_LEFTUP);
    opened.push_back(gOpenedLinks.size());
    at(onLink, MOUSEEVENTF_LEFTUP);        // so the next release over the link still opens it
    opened.push_back(gOpenedLinks.size());

    EXPECT_EQ(opened, (std::vector<size_t>{0, 1, 1, 1, 2}));
    EXPECT_EQ(gOpenedLinks, std::vector<std::string>(2, "https://example.test/target"));
}

TEST_F(Hyperlink, KeepsTargetsUpTo200CharactersAndOpensTheShownTextWithoutOne)
{
    const std::string long200(200, 'a'), long201 = std::string(200, 'b') + "c";
    const std::string shown250(250, 's');
    const std::string huge = "https://" + std::string(10000, 'x');
    struct Case { int id; const char* text; const char* target; } cases[] = {
        {2001, "two hundred", long200.c_str()},
        {2002, "two hundred and one", long201.c_str()},
        {2003, "https://shown.test/empty", ""},
        {2004, "https://shown.test/null", nullptr},
        {2005, shown250.c_str(), ""},
        {2006, "", ""},
        {2007, "ten thousand", huge.c_str()},
    };
    for (const Case& c : cases) {
        AddStatic(c.id, c.text);
        ASSERT_EQ(MakeHyperlink(dialog, c.id, c.target), 1) << c.id;
        PressAndRelease(GetDlgItem(dialog, c.id));
    }
    SetWindowTextA(GetDlgItem(dialog, 2003), "https://shown.test/changed");
    PressAndRelease(GetDlgItem(dialog, 2003));
    // A shown text far longer than the link's own buffers is painted and opened cut.
    SetWindowTextA(GetDlgItem(dialog, 2004), huge.c_str());
    UpdateWindow(GetDlgItem(dialog, 2004));
    PressAndRelease(GetDlgItem(dialog, 2004));
    EXPECT_EQ(gOpenedLinks, (std::vector<std::string>{
                                long200, std::string(200, 'b'), "https://shown.test/empty",
                                "https://shown.test/null", std::string(200, 's'),
                                huge.substr(0, 200), "https://shown.test/changed",
                                huge.substr(0, 200)}));   // nothing for the empty link
}

// The static draws its own plain text in the font it was given; a bold, bigger one makes any of
// it left beside the link's show.
TEST_F(Hyperlink, ANewTextIsDrawnAloneInBlueWithAmpersandsAsCharactersAndAFocusFrame)
{
    ASSERT_EQ(MakeHyperlink(dialog, 1001, nullptr), 1);
    LOGFONTA bold{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    bold.lfHeight = bold.lfHeight * 3 / 2;
    HFONT plainFont = CreateFontIndirectA(&bold);
    SendMessageA(Link(), WM_SETFONT, reinterpret_cast<WPARAM>(plainFont), FALSE);
    auto show = [&](const char* text) {   // null: only repaint
        if (text)
            SetWindowTextA(Link(), text);
        else
            InvalidateRect(Link(), nullptr, FALSE);
        UpdateWindow(Link());
        return InkOf(Link());
    };
    Ink shortText = show("i");
    SendMessageA(Link(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("WWWWWWWWWW"));
    RECT invalid{};
    BOOL invalidated = GetUpdateRect(Link(), &invalid, FALSE);
    RECT client;
    GetClientRect(Link(), &client);
    UpdateWindow(Link());
    Ink longText = InkOf(Link());
    BOOL stillInvalid = GetUpdateRect(Link(), nullptr, FALSE);
    show(nullptr);
    Ink repainted = show(nullptr);
    Ink plain = show("ab"), withAmpersand = show("a&b");
    SendMessageA(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetFocus(Link());
    Ink focused = show(nullptr);
    SetFocus(nullptr);   // the dialog itself would hand the focus straight back
    Ink unfocused = show(nullptr);
    DestroyWindow(dialog);
    DeleteObject(plainFont);

    EXPECT_TRUE(invalidated);
    EXPECT_TRUE(EqualRect(&invalid, &client));
    EXPECT_FALSE(stillInvalid);   // painted since
    if (shortText.blue < 0)
        GTEST_SKIP() << "this display driver does not let the test read pixels back";
    EXPECT_GT(shortText.blue, 0);
    EXPECT_GT(longText.blue, 4 * shortText.blue);
    EXPECT_EQ(shortText.dark, 0);
    EXPECT_EQ(longText.dark, 0);
    EXPECT_EQ(repainted.blue, longText.blue);   // repainting does not thicken the text
    EXPECT_EQ(repainted.dark, 0);
    EXPECT_GT(withAmpersand.right, plain.right);   // drawn, not taken as a prefix
    EXPECT_GT(focused.dark, 0);   // the dotted frame inverts the light face
    EXPECT_EQ(unfocused.dark, 0);
}

// The shell may run message loops in which the control goes away; a debug-heap free shows any
// later read of its record.
TEST_F(Hyperlink, AControlDestroyedWhileItsTargetOpensIsNotTouchedAgain)
{
    ASSERT_EQ(MakeHyperlink(dialog, 1001, "https://example.test/gone"), 1);
    HWND link = Link();
    gRealHeapFree = reinterpret_cast<HeapFreeProc>(
        ReplaceImport("kernel32.dll", "HeapFree", reinterpret_cast<void*>(PoisoningHeapFree)));
    ASSERT_NE(gRealHeapFree, nullptr);
    gDuringOpen = [&] { DestroyWindow(dialog); };
    PressAndRelease(link);
    gDuringOpen = nullptr;
    ReplaceImport("kernel32.dll", "HeapFree", reinterpret_cast<void*>(gRealHeapFree));

    EXPECT_FALSE(IsWindow(link));
    EXPECT_EQ(gOpenedLinks, std::vector<std::string>{"https://example.test/gone"});
}

TEST_F(Hyperlink, DestroyingTheDialogFreesTheRecordAndFontButLeavesTheSharedHand)
{
    ASSERT_EQ(MakeHyperlink(dialog, 1001, "https://example.test/"), 1);
    EXPECT_EQ(MakeHyperlink(dialog, 1001, "https://example.test/again"), 0);   // already a link
    EXPECT_EQ(MakeHyperlink(dialog, 4242, "https://example.test/"), 0);        // no such control
    PressAndRelease(Link());
    EXPECT_EQ(gOpenedLinks, std::vector<std::string>{"https://example.test/"});

    auto* record = reinterpret_cast<HyperlinkData*>(GetWindowLongA(Link(), GWL_USERDATA));
    ASSERT_NE(record, nullptr);
    InvalidateRect(Link(), nullptr, FALSE);
    UpdateWindow(Link());
    SendMessageA(Link(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Link()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    HFONT font = record->font;
    HCURSOR hand = record->cursor;
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(hand, LoadCursorA(nullptr, IDC_HAND));
    LOGFONTA description{};
    GetObjectA(font, sizeof description, &description);
    EXPECT_TRUE(description.lfUnderline);

    gHandsDestroyed = 0;
    void* realDestroyCursor = ReplaceImport("user32.dll", "DestroyCursor", reinterpret_cast<void*>(CountingDestroyCursor));
    DestroyWindow(dialog);
    if (realDestroyCursor)
        ReplaceImport("user32.dll", "DestroyCursor", realDestroyCursor);

    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_FALSE(HeapValidate(GetProcessHeap(), 0, record));
    EXPECT_EQ(gHandsDestroyed, 0);
    ICONINFO info{};
    EXPECT_TRUE(GetIconInfo(hand, &info));
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
}

namespace {

std::string ReadFile(const std::string& path)
{
    std::string text;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, n);
        std::fclose(in);
    }
    return text;
}

constexpr char kHttpsClass[] = "Software\\Classes\\https";
constexpr char kHttpsCommand[] = "Software\\Classes\\https\\shell\\open\\command";

// Points the prefix's https protocol at the recorder for as long as it lives, then puts back
// what was there.
struct HttpsRecorder {
    bool classExisted = false;
    bool hadCommand = false;
    std::string previousCommand;
    std::string output;

    bool Install()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        output = std::string(temp) + "velmora_link_opened.txt";
        DeleteFileA(output.c_str());
        HKEY key;
        classExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHttpsClass, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (classExisted)
            RegCloseKey(key);
        char previous[1024] = {};
        DWORD size = sizeof previous;
        hadCommand = RegGetValueA(HKEY_LOCAL_MACHINE, kHttpsCommand, nullptr, RRF_RT_REG_SZ | RRF_NOEXPAND,
                                  nullptr, previous, &size) == ERROR_SUCCESS;
        previousCommand = previous;
        std::string command = "\"" + ProgramFolder() + "link_recorder.exe\" \"" + output + "\" \"%1\"";
        return RegSetKeyValueA(HKEY_LOCAL_MACHINE, kHttpsCommand, nullptr, REG_SZ, command.c_str(),
                               static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }

    void Remove()
    {
        if (!classExisted)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, kHttpsClass);
        else if (hadCommand)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kHttpsCommand, nullptr, REG_SZ, previousCommand.c_str(),
                            static_cast<DWORD>(previousCommand.size() + 1));
        else
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kHttpsCommand, nullptr);
        DeleteFileA(output.c_str());
    }
};

}  // namespace

// Uses only the loaded DLL: its own ShellExecuteA, its own copy of every global.
TEST(LoadedDllSheet, AboutLinkOpensTheShownHomepageThroughTheShell)
{
    DeleteSettingsTree();
    HttpsRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << "cannot point the https protocol at the recorder";
    PlayerDouble player;
    LoadedPlugin loaded;
    ASSERT_TRUE(CreatePlayerWindow(player));
    ASSERT_TRUE(LoadPlugin(loaded, player.window, (ProgramFolder() + "gen_velmora.dll").c_str()));

    std::string shown, opened;
    bool recorded = false;
    DriveSheet(PSBTN_CANCEL, [&](HWND sheet) {
        SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
        HWND link = GetDlgItem(CurrentPage(sheet), 1001);
        char text[256] = {};
        GetWindowTextA(link, text, sizeof text);
        shown = text;
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        recorded = WaitUntil([&] { return GetFileAttributesA(recorder.output.c_str()) != INVALID_FILE_ATTRIBUTES; },
                             15000);
    }, [&] { loaded.plugin->config(); });
    opened = ReadFile(recorder.output);

    UnloadPlugin(loaded);
    DestroyPlayerWindow(player);
    recorder.Remove();
    DeleteSettingsTree();

    EXPECT_EQ(shown.rfind("https://", 0), 0u) << shown;
    ASSERT_TRUE(recorded) << "the shell never started the recorder";
    EXPECT_EQ(opened, shown);
}

TEST(Resources, PagesVersionBlockAndManifestAreBritishEnglishAndNameTheHomepage)
{
    std::string dll = ProgramFolder() + "gen_velmora.dll";
    HMODULE image = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    const WORD british = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
    EXPECT_NE(FindResourceExA(image, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101), british), nullptr);
    EXPECT_NE(FindResourceExA(image, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(102), british), nullptr);
    // Not id 2, which the loader applies to the DLL's own imports, comctl32 among them.
    EXPECT_EQ(FindResourceA(image, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24)), nullptr);
    HRSRC manifestInfo = FindResourceA(image, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifestInfo, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, manifestInfo))),
                         SizeofResource(image, manifestInfo));
    HWND about = CreateDialogParamA(image, MAKEINTRESOURCEA(101), nullptr, PlainDialogProc, 0);
    char homepage[256] = {};
    GetDlgItemTextA(about, 1001, homepage, sizeof homepage);
    DestroyWindow(about);
    FreeLibrary(image);
    EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);

    DWORD size = GetFileVersionInfoSizeA(dll.c_str(), nullptr);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, block.data()));
    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\080904b0\\") + name;
        return VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value
                   ? std::string(value) : std::string("(absent)");
    };
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x809);
    EXPECT_EQ(translation[1], 1200);
    EXPECT_EQ(text("FileVersion"), "2.0.0.0");
    EXPECT_EQ(text("ProductVersion"), "2.0.0.0");
    EXPECT_EQ(text("FileDescription"), "Velmora");
    EXPECT_EQ(text("ProductName"), "Velmora");
    EXPECT_EQ(text("InternalName"), "gen_velmora");
    EXPECT_EQ(text("OriginalFilename"), "gen_velmora.dll");
    EXPECT_EQ(text("CompanyName"), "Dravnik");
    EXPECT_EQ(text("Comments"), std::string("Visit homepage ") + homepage);
    EXPECT_NE(text("LegalCopyright").find("Dravnik"), std::string::npos);
}
