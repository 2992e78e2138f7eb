// gen_velmora.dll loaded the way the player loads it, and under faults: repeated loading, a
// hostile shared mapping, a flood of keys, a player window that dies first, unloads the code must
// outlive, the sheet opened twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "player_double.h"

#include <commctrl.h>
#include <prsht.h>

namespace {

class LoadedDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsTree();
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        ASSERT_TRUE(CreatePlayerWindow(player));
        originalProc = WindowProcOf(player.window);
    }
    void TearDown() override
    {
        UnloadPlugin(plugin);
        RemoveObserver();
        DestroyPlayerWindow(player);
        PumpMessages(10);
        DeleteSettingsTree();
    }

    PlayerDouble player;
    LoadedPlugin plugin;
    LONG_PTR originalProc = 0;
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
    EXPECT_EQ(TitleFault(player, 2), "");
}

namespace {

// Writes the shared record from outside, as another program (or a torn write) leaves it.
void WriteRecord(DWORD hook, DWORD target)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, kVelmoraMapping);
    if (!mapping)
        return;
    if (auto* view = static_cast<DWORD*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 8))) {
        view[0] = hook;
        view[1] = target;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

// Message-only windows of this thread: the plug-in's stall watch is one while it is hooked.
int CountMessageOnlyWindowsOfThisThread()
{
    int count = 0;
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr));)
        count += GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
    return count;
}

}  // namespace

TEST_F(LoadedDll, PlayerWindowOutlivesTheUnloadedPluginWhateverTheRecordSaidOfItsHook)
{
    for (bool hookless : {false, true}) {
        SCOPED_TRACE(hookless ? "a record with a zero hook" : "the record as written");
        ASSERT_TRUE(InstallObserver());   // behind the plug-in's hook: sees what it lets through
        int baseline = CountMessageOnlyWindowsOfThisThread();
        ASSERT_TRUE(LoadPlugin(plugin, player.window));
        EXPECT_EQ(CountMessageOnlyWindowsOfThisThread(), baseline + 1);
        if (hookless)   // read by the hook's first call, before any key
            WriteRecord(0, reinterpret_cast<DWORD>(player.window));
        TapKey(VK_MEDIA_STOP);
        EXPECT_TRUE(PumpUntil([&] { return !CommandsOf(player).empty(); }));
        UnloadPlugin(plugin);
        ASSERT_EQ(GetModuleHandleA("gen_velmora.dll"), nullptr);
        EXPECT_EQ(WindowProcOf(player.window), originalProc);
        EXPECT_EQ(TitleFault(player, hookless ? 4 : 3), "");
        // Nothing of ours runs any more: no watch window and its timer, no hook in unloaded code.
        EXPECT_EQ(CountMessageOnlyWindowsOfThisThread(), baseline);
        TapKey(VK_MEDIA_STOP);
        EXPECT_TRUE(PumpUntil([] { return ObservedCount(VK_MEDIA_STOP, WM_KEYUP) == 1; }));
        EXPECT_EQ(ObservedCount(VK_MEDIA_STOP, WM_KEYDOWN), 1);
        RemoveObserver();
        ForgetReceived(player);
        player.playState = 3;
        EXPECT_EQ(SendMessageA(player.window, WM_USER, 0, 104), 3);
        SendMessageA(player.window, WM_HOTKEY, 0x9000, 0);
        PostMessageA(player.window, RegisterWindowMessageA(kVelmoraNotify), 0, VK_MEDIA_STOP);
        TapWithCtrlAlt(VK_NEXT);
        SettlePlayer(player);
        EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
        EXPECT_EQ(CountOf(player, WM_USER), 1);
        EXPECT_EQ(CountOf(player, WM_HOTKEY), 1);
        EXPECT_EQ(CountOf(player, RegisterWindowMessageA(kVelmoraNotify)), 1);
        ForgetReceived(player);
    }
}

namespace {

// second_player.exe: a second player process that loads the plug-in after ours.
struct SecondPlayer {
    PROCESS_INFORMATION process{};
    HANDLE ready = nullptr;
    HANDLE stop = nullptr;
    HANDLE act = nullptr;
};

bool WaitUntilReady(SecondPlayer& second)
{
    HANDLE waits[] = {second.ready, second.process.hProcess};
    return WaitForMultipleObjects(2, waits, FALSE, kWaitMs) == WAIT_OBJECT_0;
}

// With an action ("unplug" or "hang"), it waits to be told to take it before it is told to stop.
bool StartSecondPlayer(SecondPlayer& second, const char* action = nullptr)
{
    second.ready = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-ready");
    second.stop = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-stop");
    second.act = CreateEventA(nullptr, TRUE, FALSE, "velmora-test-second-act");
    std::string command = "second_player.exe velmora-test-second-ready velmora-test-second-stop";
    if (action)
        command = command + " velmora-test-second-act " + action;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &second.process) && WaitUntilReady(second);
}

// It quits its plug-in and keeps its window, as a player does when the user unloads a plug-in;
// or its thread hangs until it is told to stop.
bool TellSecondPlayerToAct(SecondPlayer& second)
{
    ResetEvent(second.ready);
    SetEvent(second.act);
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
    CloseHandle(second.act);
    return commands;
}

}  // namespace

TEST_F(LoadedDll, TwoPlayersGiveOneCommandPerKeyWhicheverQuitsFirst)
{
    // The middle player: between ours and the later one, its plug-in quit while its window stays.
    PlayerDouble middle;
    ASSERT_TRUE(CreatePlayerWindow(middle, L"Velmora middle player"));
    UINT notify = RegisterWindowMessageA(kVelmoraNotify);
    enum Order { kOursQuitsFirst, kLaterQuitsFirst, kLaterUnloadsThePlugInOnly, kAfterAMiddleOne,
                 kLaterHangs };
    const char* const kOrderNames[] = {
        "the earlier player quits first", "the later one does",
        "the later one unloads the plug-in only", "so does the later one, after a middle one",
        "the later one hangs, then recovers"};
    bool hangEndsTheChain = false;
    for (Order order : {kOursQuitsFirst, kLaterQuitsFirst, kLaterUnloadsThePlugInOnly,
                        kAfterAMiddleOne, kLaterHangs}) {
        SCOPED_TRACE(kOrderNames[order]);
        ASSERT_TRUE(InstallObserver());
        ASSERT_TRUE(LoadPlugin(plugin, player.window));
        if (order == kAfterAMiddleOne)   // the record as the middle player's install left it
            WriteRecord(0x4D1D, reinterpret_cast<DWORD>(middle.window));
        SecondPlayer second;
        const char* action = order == kLaterHangs ? "hang"
                             : order >= kLaterUnloadsThePlugInOnly ? "unplug" : nullptr;
        ASSERT_TRUE(StartSecondPlayer(second, action));
        HWND secondWindow = FindWindowA(nullptr, "Velmora second player");
        HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kVelmoraMapping);
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
            // Its window gone with it, still there without the plug-in, or hung: ours answers,
            // and the middle window, whose plug-in has gone too, hears nothing. A hung player
            // replays nothing when it recovers.
            if (order == kLaterQuitsFirst) {
                EXPECT_EQ(StopSecondPlayer(second), 1u);
            } else {
                ASSERT_TRUE(TellSecondPlayerToAct(second));
            }
            if (order == kLaterHangs) {   // the system then skips its hook, and ours is asked
                EXPECT_TRUE(PumpUntil([&] { return IsHungAppWindow(secondWindow) != FALSE; }));
                // Windows passes a key on past a hook that does not answer (or drops that hook);
                // some Wines end the chain there, so no older hook, ours included, is asked.
                Observed().clear();
                TapKey(VK_VOLUME_UP);
                if (!PumpUntil([&] { return ObservedCount(VK_VOLUME_UP, WM_KEYUP) > 0; })) {
                    hangEndsTheChain = true;
                    StopSecondPlayer(second);
                    UnloadPlugin(plugin);
                    RemoveObserver();
                    break;
                }
            }
            Observed().clear();
            TapKey(VK_MEDIA_PLAY_PAUSE);
            EXPECT_TRUE(PumpUntil([&] { return !CommandsOf(player).empty(); }));
            SettlePlayer(player);
            SettlePlayer(middle);
            EXPECT_EQ(CommandsOf(player), std::vector<UINT>{40045});
            EXPECT_EQ(ObservedCount(VK_MEDIA_PLAY_PAUSE, WM_KEYDOWN), 0);
            EXPECT_EQ(ObservedCount(VK_MEDIA_PLAY_PAUSE, WM_KEYUP), 0);
            EXPECT_EQ(CountOf(middle, notify), 0);
            if (order != kLaterQuitsFirst) {
                EXPECT_EQ(StopSecondPlayer(second), 1u);
            }
            UnloadPlugin(plugin);
        }
        RemoveObserver();
        ForgetReceived(player);
    }
    DestroyPlayerWindow(middle);
    if (hangEndsTheChain)
        GTEST_SKIP() << "the other orders passed; a hung player: this Wine asks no hook older "
                        "than a hung one, so no plug-in behind it can answer the key";
}

// A copy of the DLL under its own name, for a test whose module stays loaded for good (the
// other tests keep loading and unloading a module of their own), or a second copy beside it.
std::string CopyOfDll(const char* name)
{
    std::string copy = ProgramFolder() + name;
    return CopyFileA((ProgramFolder() + "gen_velmora.dll").c_str(), copy.c_str(), FALSE) ? copy : "";
}

// The player loads every gen_*.dll in its Plugins folder: a renamed copy of ours is a second copy
// in the same process, entered into the same window above the first.
constexpr char kRenamedCopy[] = "gen_velmora - Copy.dll";

TEST_F(LoadedDll, RenamedCopyOnTheSameWindowGivesOneCommandPerKeyAndHotkeyAndQuitsAlone)
{
    std::string copy = CopyOfDll(kRenamedCopy);
    ASSERT_FALSE(copy.empty());
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    LoadedPlugin upper;
    ASSERT_TRUE(LoadPlugin(upper, player.window, copy.c_str()));
    for (const char* stage : {"both copies loaded", "the upper copy unloaded"}) {
        SCOPED_TRACE(stage);
        ForgetReceived(player);
        TapWithCtrlAlt(VK_NEXT);
        TapKey(VK_MEDIA_STOP);
        EXPECT_TRUE(PumpUntil([&] { return CountOf(player, WM_HOTKEY) == 1; }));
        SettlePlayer(player);
        EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40048, 40047}));
        UnloadPlugin(upper);
    }
    EXPECT_EQ(GetModuleHandleA(kRenamedCopy), nullptr);
    DeleteFileA(copy.c_str());
}

// In a child, where a stack overflow shows as a failed exit rather than taking the suite down.
TEST_F(LoadedDll, CopyLoadedAgainUnderALaterCopyIsEnteredOnceAndAnswersOnce)
{
    std::string copy = CopyOfDll(kRenamedCopy);
    ASSERT_FALSE(copy.empty());
    std::string command = std::string("second_player.exe reload \"") + kRenamedCopy + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child));
    bool ended = WaitForSingleObject(child.hProcess, 2 * kWaitMs) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended);
    if (!ended)
        TerminateProcess(child.hProcess, 255);
    DWORD commands = STILL_ACTIVE;
    GetExitCodeProcess(child.hProcess, &commands);
    EXPECT_EQ(commands, 1u) << "the Stop commands; 253: the query reached the window other "
                               "than once; 252: another command came";
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    DeleteFileA(copy.c_str());
}

namespace {

// This process's entries in the system handle table; -1 when ntdll will not tell.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};

long CountHandlesInSystemTable()
{
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<BYTE> buffer(1 << 16);
    ULONG needed = 0;
    LONG status;
    while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
               static_cast<LONG>(0xC0000004) && buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<HandleEntry*>(buffer.data() + sizeof(void*));
    long mine = 0;
    for (ULONG i = 0; i < count; ++i)
        mine += entries[i].ownerPid == GetCurrentProcessId();
    return mine;
}

// GetProcessHandleCount where it answers; this Wine says 0, so then the system handle table.
// (A cycle makes no GDI object, and Wine's GetGuiResources always says 0: nothing to count.)
DWORD CountHandles(const char** handleCounter)
{
    DWORD handles = 0;
    *handleCounter = "GetProcessHandleCount";
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    if (handles == 0) {
        *handleCounter = "NtQuerySystemInformation(SystemHandleInformation)";
        handles = static_cast<DWORD>(CountHandlesInSystemTable());
    }
    return handles;
}


TEST_F(LoadedDll, TwoHundredLoadInitQuitUnloadCyclesLeakNothingAndLeaveNoHook)
{
    // Two warm-up cycles, so the counters see only what a cycle leaves behind.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(LoadPlugin(plugin, player.window));
        UnloadPlugin(plugin);
    }
    PumpMessages(10);
    const char* handleCounter;
    DWORD before = CountHandles(&handleCounter);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(LoadPlugin(plugin, player.window)) << "cycle " << i;
        if (i % 50 == 0) {   // now and then make sure the hook is really there
            TapKey(VK_MEDIA_STOP);
            EXPECT_TRUE(PumpUntil([&] { return CountOf(player, WM_COMMAND) > i / 50; }))
                << "cycle " << i;
        }
        UnloadPlugin(plugin);
        ASSERT_EQ(GetModuleHandleA("gen_velmora.dll"), nullptr) << "cycle " << i;
        ASSERT_EQ(WindowProcOf(player.window), originalProc) << "cycle " << i;
        // Like any player, keep the thread's queue served: Wine skips the low-level hooks of a
        // thread that has fetched no message for 5 s, which 50 slow cycles can take.
        PumpUntil([] { return true; });   // what is pending, without waiting
    }
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40047, 40047, 40047, 40047}));
    // With the DLL gone a key must not reach freed code.
    ForgetReceived(player);
    TapKey(VK_MEDIA_STOP);
    SettlePlayer(player);
    EXPECT_EQ(CountOf(player, WM_COMMAND), 0);
    DWORD after = CountHandles(&handleCounter);
    ASSERT_NE(before, static_cast<DWORD>(-1)) << "no handle counter answers here";
    std::printf("handles %lu -> %lu (%s)\n", before, after, handleCounter);
    EXPECT_LE(after, before);
}

// Starts mapping_holder.exe from beside this test and waits until it holds the name.
struct Holder {
    PROCESS_INFORMATION process{};
    HANDLE ready = nullptr;
    HANDLE done = nullptr;
};

bool StartHolder(Holder& h, const char* mode)
{
    char ready[64], done[64];
    std::snprintf(ready, sizeof ready, "VelmoraHolderReady%lu", GetCurrentProcessId());
    std::snprintf(done, sizeof done, "VelmoraHolderDone%lu", GetCurrentProcessId());
    h.ready = CreateEventA(nullptr, TRUE, FALSE, ready);
    h.done = CreateEventA(nullptr, TRUE, FALSE, done);
    std::string exe = ProgramFolder() + "mapping_holder.exe";
    std::string command = "\"" + exe + "\" " + mode + " " + ready + " " + done + " " +
                          std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &h.process))
        return false;
    HANDLE waitFor[] = {h.ready, h.process.hProcess};
    return WaitForMultipleObjects(2, waitFor, FALSE, 10000) == WAIT_OBJECT_0;
}

void StopHolder(Holder& h)
{
    if (h.process.hProcess) {
        SetEvent(h.done);
        if (WaitForSingleObject(h.process.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(h.process.hProcess, 1);
        CloseHandle(h.process.hProcess);
        CloseHandle(h.process.hThread);
    }
    CloseHandle(h.ready);
    CloseHandle(h.done);
    h = {};
}

// Reserved pages fault when touched on Windows, so they are read only where IsBadReadPtr finds
// them readable, as this Wine makes them. True when still reserved and unwritten.
bool RecordStillReservedAndEmpty()
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kVelmoraMapping);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    MEMORY_BASIC_INFORMATION info{};
    DWORD record[2] = {};
    if (view) {
        VirtualQuery(view, &info, sizeof info);
        if (!IsBadReadPtr(view, sizeof record))
            CopyMemory(record, view, sizeof record);
        UnmapViewOfFile(view);
    }
    if (mapping)
        CloseHandle(mapping);
    return info.State == MEM_RESERVE && record[0] == 0 && record[1] == 0;
}

TEST_F(LoadedDll, MappingTakenFirstByAnotherProcessStillLetsKeysBeAnswered)
{
    for (const char* mode : {"readonly", "tiny", "garbage", "reserve", "event"}) {
        SCOPED_TRACE(mode);
        Holder holder;
        bool started = StartHolder(holder, mode);
        EXPECT_TRUE(started);
        if (started) {
            ASSERT_TRUE(LoadPlugin(plugin, player.window));
            if (!std::strcmp(mode, "garbage"))
                WriteRecord(0x5A5A5A5A, 0x5A5A5A5A);   // as if it kept scribbling
            ForgetReceived(player);
            TapKey(VK_MEDIA_STOP);
            TapKey(VK_MEDIA_NEXT_TRACK);
            SettlePlayer(player);
            EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40047, 40048}));
            if (!std::strcmp(mode, "reserve")) {
                EXPECT_TRUE(RecordStillReservedAndEmpty());
            }
            UnloadPlugin(plugin);
        }
        StopHolder(holder);
    }
}

// The focused window of the flood: counts the pass-through key-downs that reach it.
std::map<WPARAM, int> gKeyDowns;

LRESULT CALLBACK CountingWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_KEYDOWN)
        ++gKeyDowns[wp];
    return DefWindowProcA(hwnd, msg, wp, lp);
}

constexpr WORD kFloodKeys[] = {VK_MEDIA_STOP, 'A', VK_MEDIA_NEXT_TRACK, VK_VOLUME_UP,
                               VK_MEDIA_PLAY_PAUSE, VK_BROWSER_HOME, VK_MEDIA_PREV_TRACK, 'Q'};
constexpr int kFloodPairs = 5000;   // 10,000 events, every key-down followed by its key-up

struct Flood {
    HWND player;
    int unanswered = 0;     // player queries that timed out while the flood ran
    DWORD slowestMs = 0;
};

// Another thread types, as a keyboard would; the player's thread runs the hook and the window.
DWORD WINAPI TypeFlood(void* parameter)
{
    auto* flood = static_cast<Flood*>(parameter);
    for (int i = 0; i < kFloodPairs; ++i) {
        TapKey(kFloodKeys[i % std::size(kFloodKeys)]);
        if (i % 250 == 0) {
            DWORD start = GetTickCount();
            DWORD_PTR state = 0;
            if (!SendMessageTimeoutA(flood->player, WM_USER, 0, 104, SMTO_NORMAL, kWaitMs, &state))
                ++flood->unanswered;
            flood->slowestMs = std::max(flood->slowestMs, GetTickCount() - start);
        }
    }
    return 0;
}

TEST_F(LoadedDll, FloodOfTenThousandKeyEventsGivesOneCommandPerAnsweredKeyDown)
{
    gKeyDowns.clear();
    HWND focus = CreateFocusedWindow(CountingWindowProc, "VelmoraFloodFocus");
    if (GetForegroundWindow() != focus) {
        DestroyWindow(focus);
        GTEST_SKIP() << "this Wine gives no window the foreground, so pass-through keys have nowhere to go";
    }
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    ForgetReceived(player);
    Flood flood{player.window};
    HANDLE typist = CreateThread(nullptr, 0, TypeFlood, &flood, 0, nullptr);
    ASSERT_NE(typist, nullptr);
    DWORD start = GetTickCount();
    MSG m;
    while (MsgWaitForMultipleObjects(1, &typist, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < 8 * kWaitMs) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    bool finished = WaitForSingleObject(typist, 0) == WAIT_OBJECT_0;
    if (!finished)
        TerminateThread(typist, 1);   // keys may be half pressed: release them all below
    CloseHandle(typist);
    for (WORD vk : kFloodKeys)
        InjectKey(vk, true);
    SettlePlayer(player);
    ASSERT_TRUE(finished) << "the flood did not finish in " << 8 * kWaitMs / 1000 << " s";
    std::printf("flood took %lu ms; slowest player query %lu ms\n", GetTickCount() - start,
                flood.slowestMs);

    std::map<UINT, int> commands;
    for (UINT c : CommandsOf(player))
        ++commands[c];
    const int each = kFloodPairs / static_cast<int>(std::size(kFloodKeys));
    // Stopped player: Play/Pause plays and Previous goes back a track.
    EXPECT_EQ(commands, (std::map<UINT, int>{{40044, each}, {40045, each}, {40047, each}, {40048, each}}));
    EXPECT_EQ(gKeyDowns['A'], each);
    EXPECT_EQ(gKeyDowns['Q'], each);
    EXPECT_EQ(gKeyDowns[VK_VOLUME_UP], each);
    EXPECT_EQ(gKeyDowns[VK_BROWSER_HOME], each);
    EXPECT_EQ(gKeyDowns[VK_MEDIA_STOP], 0);
    EXPECT_EQ(flood.unanswered, 0);
    DestroyWindow(focus);
}

bool PassedOnWhole(DWORD vk, int times)
{
    return ObservedCount(vk, WM_KEYDOWN) == times && ObservedCount(vk, WM_KEYUP) == times;
}

// Another thread of the test with a low-level hook of its own, older than the plug-in's: it types
// a key when asked and tells when that key has reached it. The system calls a thread's hook only
// while that thread fetches messages, and skips the older hooks after one that did not answer.
struct Typist {
    HANDLE thread = nullptr;
    HANDLE type = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE seen = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hooked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};
constexpr WORD kTypistKey = 'V';
HHOOK gTypistHook;
HANDLE gTypistSeen;

LRESULT CALLBACK TypistHookProc(int code, WPARAM msg, LPARAM lp)
{
    if (code == HC_ACTION && msg == WM_KEYDOWN &&
        reinterpret_cast<KBDLLHOOKSTRUCT*>(lp)->vkCode == kTypistKey)
        SetEvent(gTypistSeen);
    return CallNextHookEx(gTypistHook, code, msg, lp);
}

DWORD WINAPI RunTypist(void* parameter)
{
    auto* typist = static_cast<Typist*>(parameter);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    gTypistSeen = typist->seen;
    gTypistHook = SetWindowsHookExW(WH_KEYBOARD_LL, TypistHookProc, GetModuleHandleW(nullptr), 0);
    SetEvent(typist->hooked);
    HANDLE waits[] = {typist->stop, typist->type};
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            break;
        if (woke == WAIT_OBJECT_0 + 1)
            TapKey(kTypistKey);
        PumpUntil([] { return true; });   // what is pending, without waiting
    }
    UnhookWindowsHookEx(gTypistHook);
    return 0;
}

bool StartTypist(Typist& typist)
{
    typist.thread = CreateThread(nullptr, 0, RunTypist, &typist, 0, nullptr);
    return typist.thread && WaitForSingleObject(typist.hooked, kWaitMs) == WAIT_OBJECT_0 && gTypistHook;
}

void StopTypist(Typist& typist)
{
    SetEvent(typist.stop);
    WaitForSingleObject(typist.thread, kWaitMs);
    for (HANDLE h : {typist.thread, typist.type, typist.seen, typist.stop, typist.hooked})
        CloseHandle(h);
}

// The player's own exit: its window goes first, its message loop ends, then quit; the library
// is never freed. Our hook is older than the plug-in's, so it sees only what the plug-in passes.
TEST_F(LoadedDll, PlayerExitDestroysTheWindowBeforeQuitAndKeysGoOnFromThenOn)
{
    ASSERT_TRUE(InstallObserver());
    Typist typist;   // newer than the observer, which is on the player's thread
    ASSERT_TRUE(StartTypist(typist));
    std::string copy = CopyOfDll("gen_velmora_at_exit.dll");
    ASSERT_TRUE(LoadPlugin(plugin, player.window, copy.c_str()));
    SetEvent(typist.type);   // while the player pumps, a key typed elsewhere goes on at once
    EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(typist.seen, 0) == WAIT_OBJECT_0; }));
    DestroyPlayerWindow(player);
    EXPECT_EQ(CountOf(player, WM_DESTROY), 1);     // through the plug-in's procedure
    EXPECT_EQ(CountOf(player, WM_NCDESTROY), 1);
    // The player's thread fetches no message until quit: a hook left on it would hold up every
    // key typed anywhere, and the system would then pass over the older hooks.
    SetEvent(typist.type);
    EXPECT_EQ(WaitForSingleObject(typist.seen, kWaitMs), WAIT_OBJECT_0);
    TapKey(VK_MEDIA_STOP);   // nobody left to tell: passed on, not swallowed
    EXPECT_TRUE(PumpUntil([] { return PassedOnWhole(VK_MEDIA_STOP, 1); }));
    QuitPlugin(plugin);
    EXPECT_NE(GetModuleHandleA("gen_velmora_at_exit.dll"), nullptr);   // stays, as at exit
    TapKey(VK_MEDIA_STOP);
    EXPECT_TRUE(PumpUntil([] { return PassedOnWhole(VK_MEDIA_STOP, 2); }));
    StopTypist(typist);
    // The hotkeys went with the window; a new one can take them.
    ASSERT_TRUE(CreatePlayerWindow(player));
    EXPECT_TRUE(RegisterHotKey(player.window, 0x9000, MOD_CONTROL | MOD_ALT, VK_NEXT));
    UnregisterHotKey(player.window, 0x9000);
}

WNDPROC gForwardTo;

LRESULT CALLBACK LaterSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return CallWindowProcW(gForwardTo, hwnd, msg, wp, lp);
}

// A new window whose own procedure is not the first window's, as a host's may be, and a later
// one over it; both count the messages of any other window that reach them.
HWND gOtherWindow;
WNDPROC gOtherOwnTo;
WNDPROC gOtherForwardTo;
int gForeignMessages;

LRESULT CALLBACK OtherOwnProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    gForeignMessages += hwnd != gOtherWindow;
    return CallWindowProcW(gOtherOwnTo, hwnd, msg, wp, lp);
}

LRESULT CALLBACK OtherWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    gForeignMessages += hwnd != gOtherWindow;
    return CallWindowProcW(gOtherForwardTo, hwnd, msg, wp, lp);
}

TEST_F(LoadedDll, UnloadUnderALaterSubclassKeepsTheCodeAndALaterLoadStartsAfresh)
{
    std::string copy = CopyOfDll("gen_velmora_pinned.dll");
    ASSERT_TRUE(LoadPlugin(plugin, player.window, copy.c_str()));
    gForwardTo = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        player.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    UnloadPlugin(plugin);
    EXPECT_NE(GetModuleHandleA("gen_velmora_pinned.dll"), nullptr);
    player.playState = 3;
    ForgetReceived(player);
    EXPECT_EQ(SendMessageA(player.window, WM_USER, 0, 104), 3);   // down the chain, through us
    EXPECT_EQ(QueriesOf(player), std::vector<LPARAM>{104});
    EXPECT_EQ(TitleFault(player, 3), "");

    // The player loads it again, into the module that stayed: on the same window, on a new one
    // that a later procedure subclasses too (a second pinned unload), and on the first again.
    // Each load works like the first, quit closes nothing of the host's, and each window's
    // messages keep going to its own procedure.
    HANDLE hostEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PlayerDouble other;
    ASSERT_TRUE(CreatePlayerWindow(other, L"Velmora other window"));
    gOtherWindow = other.window;
    gOtherOwnTo = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        other.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OtherOwnProc)));
    gForeignMessages = 0;
    int track = 4;
    for (PlayerDouble* p : {&player, &other, &player}) {
        SCOPED_TRACE(p == &player ? "first window" : "new window");
        ASSERT_TRUE(LoadPlugin(plugin, p->window, copy.c_str()));
        if (p == &other)
            gOtherForwardTo = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                other.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OtherWindowProc)));
        EXPECT_EQ(TitleFault(*p, ++track), "");
        ForgetReceived(*p);
        SendMessageA(p->window, WM_USER, 0, 104);
        EXPECT_EQ(QueriesOf(*p), std::vector<LPARAM>{104});   // once, not round a loop
        ForgetReceived(*p);
        TapKey(VK_MEDIA_STOP);
        EXPECT_TRUE(PumpUntil([&] { return !CommandsOf(*p).empty(); }));
        SettlePlayer(*p);
        EXPECT_EQ(CommandsOf(*p), std::vector<UINT>{40047});
        SendMessageA(player.window, WM_USER, 0, 104);
        UnloadPlugin(plugin);
        SendMessageA(player.window, WM_USER, 0, 104);
        EXPECT_NE(WaitForSingleObject(hostEvent, 0), WAIT_FAILED);
        EXPECT_EQ(TitleFault(*p, ++track), "") << "after the unload";
        for (PlayerDouble* q : {&player, &other}) {   // both windows we stay in still answer
            ForgetReceived(*q);
            q->playState = 3;
            EXPECT_EQ(SendMessageA(q->window, WM_USER, 0, 104), 3);
            EXPECT_EQ(QueriesOf(*q), std::vector<LPARAM>{104});
        }
    }
    EXPECT_EQ(gForeignMessages, 0);

    // The host puts its own procedure back under the later one: a new load must subclass it
    // afresh, or every answered key is swallowed and lost.
    SetWindowLongPtrW(player.window, GWLP_WNDPROC, originalProc);
    ASSERT_TRUE(LoadPlugin(plugin, player.window, copy.c_str()));
    ForgetReceived(player);
    TapKey(VK_MEDIA_STOP);
    TapWithCtrlAlt(VK_NEXT);
    EXPECT_TRUE(PumpUntil([&] { return CommandsOf(player).size() >= 2; }));
    SettlePlayer(player);
    EXPECT_EQ(CommandsOf(player), (std::vector<UINT>{40047, 40048}));
    UnloadPlugin(plugin);
    EXPECT_EQ(WindowProcOf(player.window), originalProc);
    CloseHandle(hostEvent);
    DestroyPlayerWindow(other);
}

// The player's own procedure takes the plug-in down inside a message that came through it: the
// player quits it at session end, its window alive; other hosts unload it from a menu command.
void QuitOnEndSession(PlayerDouble& player)
{
    QuitPlugin(*static_cast<LoadedPlugin*>(player.context));
}

void UnloadOnCommand(PlayerDouble& player, UINT command)
{
    if (command == 40001)
        UnloadPlugin(*static_cast<LoadedPlugin*>(player.context));
}

TEST_F(LoadedDll, QuitAtSessionEndOrUnloadInsideAMessageThatCameThroughThePlugInLeavesThePlayerRunning)
{
    std::string copy = CopyOfDll("gen_velmora_unloaded_in_a_message.dll");
    ASSERT_TRUE(InstallObserver());   // older than the plug-in's hook: sees what it passes on
    player.onEndSession = QuitOnEndSession;
    player.onCommand = UnloadOnCommand;
    player.context = &plugin;
    int track = 20;
    // The second load goes into the module that stayed after the first quit.
    for (UINT message : {WM_ENDSESSION, WM_COMMAND}) {
        SCOPED_TRACE(message == WM_ENDSESSION ? "quit at session end" : "unloaded by a command");
        ASSERT_TRUE(LoadPlugin(plugin, player.window, copy.c_str()));
        EXPECT_EQ(TitleFault(player, ++track), "") << "loaded";
        ForgetReceived(player);
        // Returns through the plug-in's frames.
        SendMessageW(player.window, message, message == WM_ENDSESSION ? TRUE : 40001, 0);
        EXPECT_EQ(plugin.module, nullptr);
        EXPECT_EQ(CountOf(player, message), 1);
        player.playState = 3;
        ForgetReceived(player);
        Observed().clear();
        EXPECT_EQ(SendMessageA(player.window, WM_USER, 0, 104), 3);
        EXPECT_EQ(TitleFault(player, ++track), "") << "after it";
        TapKey(VK_MEDIA_STOP);   // no hook any more: nothing answers it
        SettlePlayer(player);
        EXPECT_EQ(QueriesOf(player), std::vector<LPARAM>{104});
        EXPECT_EQ(CommandsOf(player), std::vector<UINT>{});
        EXPECT_TRUE(PassedOnWhole(VK_MEDIA_STOP, 1));
    }
}

// Closes the sheet from the sheet's own thread: Cancel the first time, OK the second. A sheet
// not found by its caption within about 2 s is closed anyway, as the active window, and counted.
int gSheetsSeen;
int gSheetTabs[2];
int gTicksWithoutSheet;
int gSheetsNotFound;

void CALLBACK CloseSheet(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = FindWindowA(nullptr, "Velmora");
    if (!sheet && ++gTicksWithoutSheet > 100) {
        sheet = GetActiveWindow();
        gSheetsNotFound += sheet != nullptr;
    }
    if (!sheet || gSheetsSeen >= 2 || !IsWindowVisible(sheet))
        return;
    gTicksWithoutSheet = 0;
    HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
    gSheetTabs[gSheetsSeen] = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    SendMessageA(sheet, PSM_PRESSBUTTON, gSheetsSeen == 0 ? PSBTN_CANCEL : PSBTN_OK, 0);
    ++gSheetsSeen;
    PostMessageA(sheet, WM_NULL, 0, 0);
}

TEST_F(LoadedDll, ConfigOpenedTwiceInARowShowsTheSheetEachTime)
{
    ASSERT_TRUE(LoadPlugin(plugin, player.window));
    gSheetsSeen = gTicksWithoutSheet = gSheetsNotFound = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, CloseSheet);
    plugin.plugin->config();
    plugin.plugin->config();
    KillTimer(nullptr, timer);
    EXPECT_EQ(gSheetsSeen, 2);
    EXPECT_EQ(gSheetsNotFound, 0);
    EXPECT_EQ(gSheetTabs[0], 2);
    EXPECT_EQ(gSheetTabs[1], 2);
    EXPECT_EQ(FindWindowA(nullptr, "Velmora"), nullptr);
    // OK the second time stored the flags as six DWORDs.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, KEY_READ, &key), 0);
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(values, 6u);
}

}  // namespace
