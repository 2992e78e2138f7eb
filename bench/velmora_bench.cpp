// Measures what the plug-in costs on the keyboard path, as ratios taken side by side in one run:
// the hook procedure against a bare hook, an answered key against one PostMessage, a message to
// the player window through our procedure against one to a window without it, a key from
// SendInput to the player's command against the same key reaching a focused window, and the
// DLL's size and imports. Medians over repeated rounds, so a busy machine shifts both sides.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "keys/keys.h"
#include "player_double.h"

namespace {

constexpr int kRounds = 31;
constexpr int kCallsPerRound = 20000;
constexpr int kPostsPerRound = 2000;
constexpr int kEndToEndRounds = 10;
constexpr int kKeysPerEndToEndRound = 40;
constexpr char kDllName[] = "gen_velmora.dll";

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

LRESULT CALLBACK BareHookProc(int code, WPARAM msg, LPARAM event)
{
    return CallNextHookEx(nullptr, code, msg, event);
}

// Both procedures are called through this pointer so neither gets inlined.
HOOKPROC volatile gProcUnderTest;

double TimeHookCalls(HOOKPROC proc, const std::vector<KBDLLHOOKSTRUCT>& events,
                     const std::vector<WPARAM>& messages)
{
    gProcUnderTest = proc;
    size_t n = events.size();
    double start = Now();
    for (int i = 0; i < kCallsPerRound; ++i)
        gProcUnderTest(HC_ACTION, messages[i % n], reinterpret_cast<LPARAM>(&events[i % n]));
    return Now() - start;
}

// The core's state as after init of a lone player: default flags, the player window as the
// target, the notification id, and the shared record naming that window, which an answered key
// reads.
SharedHookRecord gRecord;

void SetUpCoreState(HWND target)
{
    gState = kLoadedState;
    gState.keys = {1, 1, 1, 1, 0, 0};
    gState.plugin.hwndParent = target;
    gState.hook.target = target;
    gRecord = {nullptr, target};
    gState.hook.record = &gRecord;
    gState.hook.attached = 1;
    gState.notifyMessage = RegisterWindowMessageA(kNotifyMessageName);
}

struct Ratio {
    double ratio;
    double bareNs;   // median per call, for scale
    double oursNs;
};

Ratio Summarise(const std::vector<double>& ratios, const std::vector<double>& bare,
                const std::vector<double>& ours, int callsPerRound)
{
    return {Median(ratios), Median(bare) * 1e9 / callsPerRound, Median(ours) * 1e9 / callsPerRound};
}

Ratio PassThroughRatio()
{
    std::vector<KBDLLHOOKSTRUCT> events;
    std::vector<WPARAM> messages;
    const UINT codes[] = {'A', 'E', 'T', 'Z', VK_SPACE, VK_F5, 173, 180, 172,
                          VK_VOLUME_UP, VK_VOLUME_DOWN};
    for (UINT vk : codes)
        for (WPARAM msg : {WPARAM{WM_KEYDOWN}, WPARAM{WM_KEYUP}}) {
            events.push_back(KBDLLHOOKSTRUCT{vk, 0, 0, 0, 0});
            messages.push_back(msg);
        }
    std::vector<double> ratios, bares, ourses;
    for (int round = 0; round < kRounds; ++round) {
        // Alternate which side goes first, so warming up favours neither.
        double bare = 0, ours = 0;
        if (round % 2)
            ours = TimeHookCalls(KeyboardHookProc, events, messages);
        bare = TimeHookCalls(BareHookProc, events, messages);
        if (!(round % 2))
            ours = TimeHookCalls(KeyboardHookProc, events, messages);
        ratios.push_back(ours / bare);
        bares.push_back(bare);
        ourses.push_back(ours);
    }
    return Summarise(ratios, bares, ourses, kCallsPerRound);
}

void DrainPosted(UINT msg)
{
    MSG m;
    while (PeekMessageA(&m, nullptr, msg, msg, PM_REMOVE)) {
    }
}

Ratio AnsweredKeyRatio(HWND target)
{
    KBDLLHOOKSTRUCT stop{VK_MEDIA_STOP, 0, 0, 0, 0};
    UINT notify = gState.notifyMessage;
    gProcUnderTest = KeyboardHookProc;
    std::vector<double> ratios, bares, ourses;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        for (int i = 0; i < kPostsPerRound; ++i)
            PostMessageA(target, notify, 0, VK_MEDIA_STOP);
        double bare = Now() - start;
        DrainPosted(notify);
        start = Now();
        for (int i = 0; i < kPostsPerRound; ++i)
            gProcUnderTest(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&stop));
        double ours = Now() - start;
        DrainPosted(notify);
        ratios.push_back(ours / bare);
        bares.push_back(bare);
        ourses.push_back(ours);
    }
    return Summarise(ratios, bares, ourses, kPostsPerRound);
}

double TimeQueries(HWND window)
{
    double start = Now();
    for (int i = 0; i < kCallsPerRound; ++i)
        SendMessageA(window, WM_USER, 0, kQueryPlayState);
    return Now() - start;
}

// The floor for any procedure that passes the player's messages on the way the system asks.
WNDPROC gBareNext;

LRESULT CALLBACK BareSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return CallWindowProcW(gBareNext, hwnd, msg, wp, lp);
}

// The play-state query, which every answered key sends, to a player window entered by the
// plug-in (or, for scale, by a bare subclass) against the same query to its twin without it;
// ratio 0 when the entry failed.
Ratio MessageRatio(bool bareSubclass)
{
    PlayerDouble plain, entered;
    CreatePlayerWindow(plain, L"Velmora bench plain window");
    CreatePlayerWindow(entered, L"Velmora bench player window");
    SetUpCoreState(entered.window);
    if (bareSubclass)
        gBareNext = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            entered.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BareSubclassProc)));
    else
        EnterPlayerWindow(entered.window);
    std::vector<double> ratios, bares, ourses;
    for (int round = 0; round < kRounds && WindowProcOf(entered.window) != WindowProcOf(plain.window);
         ++round) {
        double bare = 0, ours = 0;
        if (round % 2)
            ours = TimeQueries(entered.window);
        bare = TimeQueries(plain.window);
        if (!(round % 2))
            ours = TimeQueries(entered.window);
        ForgetReceived(plain);
        ForgetReceived(entered);
        ratios.push_back(ours / bare);
        bares.push_back(bare);
        ourses.push_back(ours);
    }
    if (!bareSubclass)
        LeavePlayerWindow();
    gState = kLoadedState;
    DestroyPlayerWindow(entered);
    DestroyPlayerWindow(plain);
    if (ratios.empty())
        return {0, 0, 0};
    return Summarise(ratios, bares, ourses, kCallsPerRound);
}

// End to end: when did the key's effect arrive, measured from just before SendInput.
double gArrival;

void OnStopCommand(PlayerDouble&, UINT command)
{
    if (command == 40047)
        gArrival = Now();
}

LRESULT CALLBACK FocusWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_KEYDOWN && wp == VK_MEDIA_STOP)
        gArrival = Now();
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// One key-down until its effect arrives (bounded), then the key-up; seconds, or -1 if lost.
double TimeOneKey()
{
    gArrival = 0;
    double start = Now();
    InjectKey(VK_MEDIA_STOP, false);
    MSG m;
    while (!gArrival && Now() - start < 1.0) {
        if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
    }
    double elapsed = gArrival ? gArrival - start : -1;
    InjectKey(VK_MEDIA_STOP, true);
    PumpMessages(2);
    return elapsed;
}

struct EndToEnd {
    std::vector<double> plugin;
    std::vector<double> plain;
    int lost = 0;
};

// The first key of a phase is not counted: it pays for the hook's one-time attach.
void TimeKeys(std::vector<double>& into, int& lost)
{
    TimeOneKey();
    for (int i = 0; i < kKeysPerEndToEndRound; ++i) {
        double t = TimeOneKey();
        if (t < 0)
            ++lost;
        else
            into.push_back(t);
    }
}

EndToEnd MeasureEndToEnd()
{
    EndToEnd result;
    HKEY existing;
    bool hadSettings = RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik", 0, KEY_READ,
                                     &existing) == ERROR_SUCCESS;
    if (hadSettings)
        RegCloseKey(existing);
    PlayerDouble player;
    CreatePlayerWindow(player);
    player.onCommand = OnStopCommand;
    HWND focus = CreateFocusedWindow(FocusWindowProc, "VelmoraBenchFocus");
    for (int round = 0; round < kEndToEndRounds; ++round) {
        LoadedPlugin loaded;
        if (!LoadPlugin(loaded, player.window, kDllName))
            break;
        PumpMessages(5);
        TimeKeys(result.plugin, result.lost);
        UnloadPlugin(loaded);
        ForgetReceived(player);
        PumpMessages(5);
        TimeKeys(result.plain, result.lost);
    }
    DestroyWindow(focus);
    DestroyPlayerWindow(player);
    // init creates the settings key; remove it only when it was not there before.
    if (!hadSettings)
        DeleteSettingsTree();
    return result;
}

DWORD FileSizeOf(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    return size;
}

void PrintImports(HMODULE module)
{
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    std::printf("imports:");
    for (; dir.VirtualAddress && desc->Name; ++desc)
        std::printf(" %s", reinterpret_cast<const char*>(base + desc->Name));
    std::printf("\n");
}

void PrintRow(const char* what, double value, const char* target)
{
    std::printf("| %-58s | %8.3f | %-8s |\n", what, value, target);
}

}  // namespace

int main()
{
    SetThreadAffinityMask(GetCurrentThread(), 1);
    PlayerDouble sink;   // a window that only collects posts; never dispatched to
    if (!CreatePlayerWindow(sink, L"Velmora bench sink")) {
        std::printf("cannot create a window\n");
        return 1;
    }
    SetUpCoreState(sink.window);
    Ratio passThrough = PassThroughRatio();
    Ratio answered = AnsweredKeyRatio(sink.window);
    gState = kLoadedState;
    DestroyPlayerWindow(sink);
    Ratio message = MessageRatio(false);
    Ratio bareMessage = MessageRatio(true);

    EndToEnd e2e = MeasureEndToEnd();

    std::printf("| %-58s | %8s | %-8s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", "------------------------------------------------------------",
                "----------", "----------");
    PrintRow("hook on pass-through keys / bare CallNextHookEx hook", passThrough.ratio, "<= 1.05");
    PrintRow("hook on answered key-down / one bare PostMessage", answered.ratio, "<= 1.2");
    PrintRow("query through HostWindowProc / to a window without it", message.ratio, "<= 1.2");
    PrintRow("query through a bare subclass / to a window without it", bareMessage.ratio,
             "(floor)");
    if (e2e.plugin.empty() || e2e.plain.empty()) {
        std::printf("end to end: no samples (plug-in %zu, plain %zu)\n", e2e.plugin.size(),
                    e2e.plain.size());
    } else {
        double pluginMedian = Median(e2e.plugin), plainMedian = Median(e2e.plain);
        double pluginP99 = Percentile(e2e.plugin, 0.99), plainP99 = Percentile(e2e.plain, 0.99);
        PrintRow("SendInput to WM_COMMAND / to plain WM_KEYDOWN, median", pluginMedian / plainMedian,
                 "");
        PrintRow("SendInput to WM_COMMAND / to plain WM_KEYDOWN, 99th pct", pluginP99 / plainP99, "");
        std::printf("end to end, microseconds: plug-in median %.1f p99 %.1f; plain median %.1f "
                    "p99 %.1f; %zu+%zu keys, %d lost\n",
                    pluginMedian * 1e6, pluginP99 * 1e6, plainMedian * 1e6, plainP99 * 1e6,
                    e2e.plugin.size(), e2e.plain.size(), e2e.lost);
    }
    std::printf("per call, nanoseconds: pass-through %.0f (bare hook %.0f); answered key-down %.0f "
                "(bare PostMessage %.0f); query %.0f (without the plug-in %.0f)\n",
                passThrough.oursNs, passThrough.bareNs, answered.oursNs, answered.bareNs,
                message.oursNs, message.bareNs);
    DWORD size = FileSizeOf(kDllName);
    std::printf("%s: %lu bytes (%.1f KiB, target <= 18 KiB)\n", kDllName,
                static_cast<unsigned long>(size), size / 1024.0);
    HMODULE module = LoadLibraryA(kDllName);
    if (module) {
        PrintImports(module);
        FreeLibrary(module);
    }
    return 0;
}
