// The player window's dispatch procedure and the low-level keyboard hook of the linked plug-in.
#include <utility>

#include "keys/keys.h"
#include "plugin_fixture.h"

namespace {

using HostDispatch = PluginTest;
using KeyboardHook = PluginTest;

// What the player saw of the plug-in: queries as {1024, selector}, commands as {273, id}.
using Seen = std::vector<std::pair<UINT, UINT>>;

Seen QueriesAndCommands(const PlayerDouble& player)
{
    Seen seen;
    for (const ReceivedMessage& m : player.received) {
        if (m.msg == WM_USER)
            seen.push_back({WM_USER, static_cast<UINT>(m.lp)});
        if (m.msg == WM_COMMAND)
            seen.push_back({WM_COMMAND, LOWORD(m.wp)});
    }
    return seen;
}

LRESULT Notify(const PlayerDouble& player, LPARAM vk)
{
    return SendMessageA(player.window, RegisterWindowMessageA(kVelmoraNotify), 0, vk);
}

constexpr UINT Q = WM_USER;
constexpr UINT C = WM_COMMAND;

}  // namespace

TEST_F(HostDispatch, EachNotificationAsksThePlayStateThenSendsOnlyItsKeysCommand)
{
    StartPlugin();
    UINT notify = RegisterWindowMessageA(kVelmoraNotify);
    struct Case { LPARAM vk; LRESULT state; Seen expected; };
    const Case cases[] = {
        {174, 0, {{Q, 104}, {C, 40059}}}, {174, 1, {{Q, 104}, {C, 40059}}},
        {174, 3, {{Q, 104}, {C, 40059}}}, {175, 0, {{Q, 104}, {C, 40058}}},
        {175, 1, {{Q, 104}, {C, 40058}}}, {175, 3, {{Q, 104}, {C, 40058}}},
        {176, 0, {{Q, 104}, {C, 40048}}}, {176, 1, {{Q, 104}, {C, 40048}}},
        {176, 3, {{Q, 104}, {C, 40048}}}, {177, 0, {{Q, 104}, {C, 40044}}},
        {177, 1, {{Q, 104}, {Q, 105}, {C, 40045}}}, {177, 3, {{Q, 104}, {Q, 105}, {C, 40044}}},
        {178, 0, {{Q, 104}, {C, 40047}}}, {178, 1, {{Q, 104}, {C, 40047}}},
        {178, 3, {{Q, 104}, {C, 40047}}}, {179, 0, {{Q, 104}, {C, 40045}}},
        {179, 1, {{Q, 104}, {C, 40046}}}, {179, 3, {{Q, 104}, {C, 40045}}},
        // States the player never gives: only playing pauses, anything but paused restarts.
        {179, 2, {{Q, 104}, {C, 40045}}}, {179, -1, {{Q, 104}, {C, 40045}}},
        {177, 2, {{Q, 104}, {Q, 105}, {C, 40045}}},
        // Outside the six keys: no command, whatever the high bits.
        {173, 1, {{Q, 104}}}, {180, 1, {{Q, 104}}}, {0, 1, {{Q, 104}}},
        {179 + 0x100, 1, {{Q, 104}}}, {174 - 0x10000, 0, {{Q, 104}}}, {-1, 1, {{Q, 104}}},
    };
    player.positionMs = 60000;
    for (const Case& c : cases) {
        player.playState = c.state;
        ForgetReceived(player);
        // A hotkey id as wParam: a notification is told by its message alone.
        EXPECT_EQ(SendMessageA(player.window, notify, 0x9000, c.vk), 0);
        EXPECT_EQ(QueriesAndCommands(player), c.expected) << "key " << c.vk << " state " << c.state;
        EXPECT_EQ(CountOf(player, notify), 0);
    }
}

TEST_F(HostDispatch, PreviousRestartsTrackOnlyAfterTwoSecondsOfPlay)
{
    StartPlugin();
    player.playState = 1;  player.positionMs = 2000;  Notify(player, VK_MEDIA_PREV_TRACK);
    player.positionMs = 2001;                         Notify(player, VK_MEDIA_PREV_TRACK);
    player.positionMs = -5000;                        Notify(player, VK_MEDIA_PREV_TRACK);
    player.playState = 3;  player.positionMs = 10000; Notify(player, VK_MEDIA_PREV_TRACK);
    player.playState = 0;                             Notify(player, VK_MEDIA_PREV_TRACK);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40044, 40045, 40044, 40044, 40044}));
}

TEST_F(HostDispatch, HotkeysSendTheirCommandThenReachThePlayer)
{
    StartPlugin();
    ForgetReceived(player);
    SendMessageA(player.window, WM_HOTKEY, 0x9000, MAKELPARAM(MOD_CONTROL | MOD_ALT, VK_NEXT));
    ASSERT_EQ(player.received.size(), 2u);
    EXPECT_EQ(player.received[0].msg, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(player.received[0].wp, 40048u);
    EXPECT_EQ(player.received[0].lp, 0);
    EXPECT_EQ(player.received[1].msg, static_cast<UINT>(WM_HOTKEY));
    ForgetReceived(player);
    SendMessageA(player.window, WM_HOTKEY, 0x9001, 0);
    SendMessageA(player.window, WM_HOTKEY, 0x9002, 0);
    SendMessageA(player.window, WM_HOTKEY, 0x19000, 0);   // only the low 16 bits are the id
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40044, 40048}));
    EXPECT_EQ(CountOf(player, WM_HOTKEY), 3);
}

TEST_F(HostDispatch, OtherMessagesReachThePlayerUnchanged)
{
    StartPlugin();
    ForgetReceived(player);
    player.positionMs = 1234;
    EXPECT_EQ(SendMessageA(player.window, WM_USER, 0, 105), 1234);
    SendMessageA(player.window, WM_COMMAND, 40047, 0);
    SendMessageA(player.window, WM_NULL, 7, 9);
    ASSERT_EQ(player.received.size(), 3u);
    EXPECT_EQ(player.received[2].msg, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(player.received[2].wp, 7u);
    EXPECT_EQ(player.received[2].lp, 9);
}

void PrintTo(KeyAnswer answer, std::ostream* out)
{
    const char* names[] = {"pass on", "tell and swallow", "swallow"};
    *out << names[static_cast<int>(answer)];
}

TEST(KeyboardHookDecision, APressIsToldAndSwallowedWholeOrGoesOnWhole)
{
    using enum KeyAnswer;
    constexpr WPARAM kDown = WM_KEYDOWN, kUp = WM_KEYUP, kSysDown = WM_SYSKEYDOWN,
                     kSysUp = WM_SYSKEYUP;
    // One press of a key this player answers (a key it does not answer never reaches the
    // decision: the keyboard table checks those go on whole), after what an earlier key-down of
    // the same press met: '-' none, 's' swallowed, 'p' passed on. The key-up is asked whether
    // the press's key-down was swallowed, which the hook keeps per key: a repeat does not make a
    // key-down that went on swallowed.
    struct Row {
        bool canTell;
        char before;
        WPARAM down;   // 0: none seen, the hook came while the key was held
        KeyAnswer atDown;
        WPARAM up;
        KeyAnswer atUp;
    };
    const Row rows[] = {
        {true, '-', kDown, kTellAndSwallow, kUp, kSwallow},
        {true, '-', kDown, kTellAndSwallow, kSysUp, kSwallow},   // Alt pressed meanwhile
        {true, 's', kDown, kTellAndSwallow, kUp, kSwallow},      // repeated down
        {true, '-', kSysDown, kSwallow, kSysUp, kSwallow},       // Alt held: no command
        {false, '-', kSysDown, kSwallow, kSysUp, kSwallow},
        // No player window to tell: the whole press goes on.
        {false, '-', kDown, kPassOn, kUp, kPassOn},
        {false, '-', kDown, kPassOn, kSysUp, kPassOn},
        {false, 'p', kDown, kPassOn, kUp, kPassOn},          // repeated down
        {false, 'p', kSysDown, kSwallow, kSysUp, kPassOn},   // and Alt since
        {false, 's', kDown, kPassOn, kUp, kPassOn},          // gone while the key is held
        // A player to tell again while the key is held: the repeat tells it, the key-up goes on.
        {true, 'p', kDown, kTellAndSwallow, kUp, kPassOn},
        // The hook came while the key was held: its key-down went on, unseen by the hook.
        {true, '-', 0, kPassOn, kUp, kPassOn},
    };
    for (const Row& r : rows) {
        KeyAnswer atDown = kPassOn;
        bool swallowedDown = r.before == 's';
        if (r.down) {
            atDown = DecideKey(r.down, r.canTell, swallowedDown);
            swallowedDown = atDown != kPassOn && r.before != 'p';
        }
        KeyAnswer atUp = DecideKey(r.up, r.canTell, swallowedDown);
        EXPECT_EQ(std::make_pair(atDown, atUp), std::make_pair(r.atDown, r.atUp))
            << "can tell " << r.canTell << " before '" << r.before
            << "' down " << r.down << " up " << r.up;
    }
}

namespace {

// One stroke of a row: a key tapped ('t'), held down ('d') or let go ('u').
struct Stroke {
    WORD vk;
    char how;
};

// What older hooks saw of the keys, modifiers left out, as key-down/up pairs of each key.
std::vector<DWORD> KeysSeenWhole()
{
    std::vector<DWORD> keys;
    const std::vector<ObservedKey>& seen = Observed();
    for (size_t i = 0; i < seen.size(); ++i) {
        DWORD vk = seen[i].vk;
        if ((vk >= VK_SHIFT && vk <= VK_MENU) || (vk >= VK_LSHIFT && vk <= VK_RMENU))
            continue;
        bool whole = seen[i].msg == WM_KEYDOWN && i + 1 < seen.size() && seen[i + 1].vk == vk &&
                     seen[i + 1].msg == WM_KEYUP;
        keys.push_back(whole ? vk : 0);   // 0 for half a press
        i += whole;
    }
    return keys;
}

}  // namespace

TEST_F(KeyboardHook, KeysFromTheKeyboardGiveTheirCommandsAndOnlyUnansweredOnesReachOtherPrograms)
{
    ASSERT_TRUE(InstallObserver());
    struct Row {
        const char* what;
        std::vector<std::pair<const char*, DWORD>> stored;   // settings before init
        std::vector<Stroke> strokes;
        std::vector<UINT> commands;
        std::vector<DWORD> seenWhole;   // by other programs, in order
    };
    const Row rows[] = {
        {"track keys, answered by default", {},
         {{179, 't'}, {178, 't'}, {177, 't'}, {176, 't'}}, {40045, 40047, 40044, 40048}, {}},
        {"stored settings", {{"Key_Play", 0}, {"Key_VolUp", 1}},
         {{175, 't'}, {174, 't'}, {172, 't'}, {'A', 't'}, {179, 't'}, {176, 't'}},
         {40058, 40048}, {174, 172, 'A', 179}},
        {"Play/Pause with Alt held", {}, {{VK_MENU, 'd'}, {179, 't'}, {VK_MENU, 'u'}}, {}, {}},
        {"a repeating key", {},
         {{176, 'd'}, {176, 'd'}, {176, 'd'}, {176, 'd'}, {176, 'd'}, {176, 'u'}},
         std::vector<UINT>(5, 40048), {}},
        {"the hotkeys", {},
         {{VK_CONTROL, 'd'}, {VK_MENU, 'd'}, {VK_NEXT, 't'}, {VK_PRIOR, 't'}, {VK_MENU, 'u'},
          {VK_CONTROL, 'u'}},
         {40048, 40044}, {VK_NEXT, VK_PRIOR}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const auto& [name, value] : row.stored)
            ASSERT_TRUE(SeedDword(name, value));
        StartPlugin();
        Observed().clear();
        for (const Stroke& s : row.strokes) {
            if (s.how != 'u')
                InjectKey(s.vk, false);
            if (s.how != 'd')
                InjectKey(s.vk, true);
        }
        SettlePlayer(player);
        EXPECT_EQ(CommandsOf(player), row.commands);
        EXPECT_EQ(KeysSeenWhole(), row.seenWhole);
        StopPlugin();
        DeleteSettingsTree();
        ForgetReceived(player);
    }
}

namespace {

void PressAndSettle(PlayerDouble& player, WORD vk)
{
    TapKey(vk);
    SettlePlayer(player);
}

bool PassedWhole(DWORD vk)
{
    return ObservedCount(vk, WM_KEYDOWN) == 1 && ObservedCount(vk, WM_KEYUP) == 1;
}

bool SwallowedEntirely(DWORD vk)
{
    return ObservedCount(vk, WM_KEYDOWN) == 0 && ObservedCount(vk, WM_KEYUP) == 0 &&
           ObservedCount(vk, WM_SYSKEYDOWN) == 0 && ObservedCount(vk, WM_SYSKEYUP) == 0;
}

}  // namespace

TEST_F(KeyboardHook, SwallowedKeyNeverReachesTheFocusedWindow)
{
    ShowWindow(player.window, SW_SHOW);
    SetForegroundWindow(player.window);
    SetFocus(player.window);
    StartPlugin();
    PressAndSettle(player, VK_VOLUME_UP);   // passed on: shows what arrives when a key is not swallowed
    int passedDowns = CountOf(player, WM_KEYDOWN) + CountOf(player, WM_APPCOMMAND);
    if (passedDowns == 0)
        GTEST_SKIP() << "this Wine delivers no key messages to the focused window";
    ForgetReceived(player);
    PressAndSettle(player, VK_MEDIA_STOP);
    EXPECT_EQ(CommandsOf(player), std::vector<UINT>{40047});
    EXPECT_EQ(CountOf(player, WM_KEYDOWN), 0);
    EXPECT_EQ(CountOf(player, WM_KEYUP), 0);
    EXPECT_EQ(CountOf(player, WM_APPCOMMAND), 0);
}

TEST_F(KeyboardHook, InstallsOnceAndAfterQuitLetsEveryKeyThrough)
{
    ASSERT_TRUE(InstallObserver());
    StartPlugin();
    EXPECT_EQ(InstallKeyboardHook(), 0);   // one hook, so one command per key below
    PressAndSettle(player, VK_MEDIA_STOP);
    EXPECT_EQ(CommandsOf(player), std::vector<UINT>{40047});
    StopPlugin();
    ForgetReceived(player);
    PressAndSettle(player, VK_MEDIA_STOP);
    PressAndSettle(player, VK_MEDIA_PLAY_PAUSE);
    EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
    EXPECT_TRUE(PassedWhole(178));
    EXPECT_TRUE(PassedWhole(179));
}

TEST_F(KeyboardHook, SharedRecordNamesTheHookAndThePlayerWindow)
{
    StartPlugin();
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kVelmoraMapping);
    ASSERT_NE(mapping, nullptr);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    DWORD record[2];
    CopyMemory(record, view, sizeof record);
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(view, &info, sizeof info);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    EXPECT_EQ(record[0], reinterpret_cast<DWORD>(gState.hook.hook));
    EXPECT_EQ(record[1], reinterpret_cast<DWORD>(player.window));
    EXPECT_GE(info.RegionSize, 64u);
}

namespace {

// Another program's low-level hook on a thread of its own, installed after ours: it takes Stop.
LONG gStopsTakenLater;

LRESULT CALLBACK LaterHookProc(int code, WPARAM msg, LPARAM lp)
{
    if (code != HC_ACTION || reinterpret_cast<KBDLLHOOKSTRUCT*>(lp)->vkCode != VK_MEDIA_STOP)
        return CallNextHookEx(nullptr, code, msg, lp);
    if (msg == WM_KEYDOWN)
        InterlockedIncrement(&gStopsTakenLater);
    return 1;
}

DWORD WINAPI RunLaterHook(void* ready)
{
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, LaterHookProc, GetModuleHandleA(nullptr), 0);
    SetEvent(ready);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    UnhookWindowsHookEx(hook);
    return 0;
}

DWORD WINAPI TypeOneKey(void*)
{
    TapKey(VK_F13);   // passed on by the plug-in, so a late hook call sends no command
    return 0;
}

DWORD WINAPI TypeOneKeyThenMoveTheMouse(void*)
{
    TapKey(VK_F13);
    INPUT moves[2] = {};
    for (INPUT& move : moves) {
        move.type = INPUT_MOUSE;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
    }
    moves[0].mi.dx = 1;
    moves[1].mi.dx = -1;
    SendInput(2, moves, sizeof moves[0]);
    return 0;
}

// The stall watch's next tick is overdue past the hook timeout: the system could have dropped
// the hook over a key it could not hand over meanwhile.
bool TickOverdue()
{
    return GetTickCount() - gState.hook.lastTickMs > gState.hook.stallMs;
}

// The player's thread stuck, fetching nothing at all, as in a slow file open, until its tick is
// overdue.
void StayStuckUntilTheTickIsOverdue()
{
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (!TickOverdue())
        WaitForSingleObject(never, 10);
    CloseHandle(never);
}

// The player's thread stuck yet answering the hook's calls, as it does while it waits in
// SendMessage on a busy window: its timer waits. Once the tick is overdue, another thread
// gives `input`; the stall ends when that thread has.
void StallAnsweringOnlyTheHook(LPTHREAD_START_ROUTINE input)
{
    HANDLE thread = nullptr;
    MSG msg;
    while (!thread || WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
        if (!thread && TickOverdue())
            thread = CreateThread(nullptr, 0, input, nullptr, 0, nullptr);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(thread);
}

// Pumps until the stall watch has ticked once more.
bool NextWatchTick()
{
    DWORD lastTick = gState.hook.lastTickMs;
    return PumpUntil([&] { return gState.hook.lastTickMs != lastTick; });
}

}  // namespace

TEST_F(KeyboardHook, PlayerThreadBlockedPastTheHookTimeoutGetsAFreshHookOnlyIfKeysCameMeanwhile)
{
    // The longest timeout the system allows, so that a busy test machine's tick gaps are no stall.
    HKEY desktop;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &desktop, nullptr), ERROR_SUCCESS);
    DWORD timeoutMs = 1000;
    RegSetValueExA(desktop, "LowLevelHooksTimeout", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&timeoutMs), sizeof timeoutMs);
    ASSERT_TRUE(InstallObserver());
    StartPlugin();
    RegDeleteValueA(desktop, "LowLevelHooksTimeout");
    RegCloseKey(desktop);
    HHOOK first = gState.hook.hook;
    // Three ticks without a stall: no re-hook.
    int ticks = 0;
    DWORD lastTick = gState.hook.lastTickMs;
    EXPECT_TRUE(PumpUntil([&] {
        ticks += gState.hook.lastTickMs != lastTick;
        lastTick = gState.hook.lastTickMs;
        return ticks >= 3;
    }));
    EXPECT_EQ(gState.hook.hook, first);

    // Stalls the system cannot have dropped the hook in: stuck with no key typed, or answering
    // the hook in time. A hook installed since stays first.
    gStopsTakenLater = 0;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD laterId = 0;
    HANDLE later = CreateThread(nullptr, 0, RunLaterHook, ready, 0, &laterId);
    ASSERT_EQ(WaitForSingleObject(ready, kWaitMs), WAIT_OBJECT_0);
    CloseHandle(ready);
    const LPTHREAD_START_ROUTINE kInputDuringTheStall[] = {nullptr, TypeOneKey,
                                                           TypeOneKeyThenMoveTheMouse};
    const char* const kStallNames[] = {"stuck, no key typed", "a key answered in time",
                                       "a key answered in time, then a mouse move"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(kStallNames[i]);
        ForgetReceived(player);
        EXPECT_TRUE(NextWatchTick());
        if (!kInputDuringTheStall[i])
            StayStuckUntilTheTickIsOverdue();
        else
            StallAnsweringOnlyTheHook(kInputDuringTheStall[i]);
        EXPECT_TRUE(NextWatchTick());
        EXPECT_EQ(gState.hook.hook, first);
        TapKey(VK_MEDIA_STOP);
        EXPECT_TRUE(PumpUntil([&] { return gStopsTakenLater == i + 1; }));
        SettlePlayer(player);
        EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
    }
    PostThreadMessageA(laterId, WM_QUIT, 0, 0);
    WaitForSingleObject(later, kWaitMs);
    CloseHandle(later);
    ForgetReceived(player);

    // Stuck while a key is typed on another thread: the system may have dropped the hook.
    HANDLE typist = CreateThread(nullptr, 0, TypeOneKey, nullptr, 0, nullptr);
    WaitForSingleObject(typist, kWaitMs);
    CloseHandle(typist);
    StayStuckUntilTheTickIsOverdue();
    ASSERT_TRUE(PumpUntil([&] { return gState.hook.hook != first; }));
    TapKey(VK_MEDIA_PLAY_PAUSE);
    TapKey(VK_MEDIA_STOP);
    EXPECT_TRUE(PumpUntil([&] { return CommandsOf(player).size() >= 2; }));
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40045, 40047}));
    EXPECT_TRUE(SwallowedEntirely(179));
    // Wine keeps a hook the system would drop: the old one must have been removed by us.
    StopPlugin();
    TapKey(VK_MEDIA_PLAY_PAUSE);
    EXPECT_TRUE(PumpUntil([&] { return PassedWhole(179); }));
    EXPECT_EQ(CommandsOf(player).size(), 2u);
}
