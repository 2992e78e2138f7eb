#include "player_double.h"

void* ReplaceImport(const char* dllName, const char* name, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto wanted = reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleA(dllName), name));
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll)
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk); slot->u1.Function; ++slot) {
            if (slot->u1.Function != wanted && slot->u1.Function != reinterpret_cast<ULONG_PTR>(replacement))
                continue;
            DWORD protection;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
            ULONG_PTR previous = slot->u1.Function;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return reinterpret_cast<void*>(previous);
        }
    return nullptr;
}

namespace {

constexpr char kPlayerClass[] = "VelmoraPlayerDouble";

LRESULT CALLBACK PlayerWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* player = reinterpret_cast<PlayerDouble*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!player)
        return DefWindowProcA(hwnd, msg, wp, lp);
    player->received.push_back({msg, wp, lp});
    if (msg == WM_USER && lp == 104)
        return player->playState;
    if (msg == WM_USER && lp == 105)
        return player->positionMs;
    if (msg == WM_COMMAND && player->onCommand)
        player->onCommand(*player, LOWORD(wp));
    if (msg == WM_NCDESTROY)
        player->window = nullptr;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void RegisterPlayerClass()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlayerWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kPlayerClass;
    RegisterClassA(&wc);   // fails harmlessly when already registered
}

void WINAPI DropDebugString(const char*) {}

// GoogleTest copies each failure to OutputDebugStringA, whose exception Wine under qemu dies
// of: the first failed check would take the test program down with it.
[[maybe_unused]] const bool gDebugStringDropped =
    ReplaceImport("kernel32.dll", "OutputDebugStringA", reinterpret_cast<void*>(DropDebugString));

}  // namespace

bool CreatePlayerWindow(PlayerDouble& player, const char* caption)
{
    RegisterPlayerClass();
    player.window = CreateWindowExA(0, kPlayerClass, caption, WS_OVERLAPPEDWINDOW, 100, 100, 420,
                                    240, nullptr, nullptr, GetModuleHandleA(nullptr), &player);
    return player.window != nullptr;
}

void DestroyPlayerWindow(PlayerDouble& player)
{
    if (player.window)
        DestroyWindow(player.window);
    player.window = nullptr;
}

std::vector<UINT> CommandsOf(const PlayerDouble& player)
{
    std::vector<UINT> commands;
    for (const ReceivedMessage& m : player.received)
        if (m.msg == WM_COMMAND)
            commands.push_back(LOWORD(m.wp));
    return commands;
}

std::vector<LPARAM> QueriesOf(const PlayerDouble& player)
{
    std::vector<LPARAM> queries;
    for (const ReceivedMessage& m : player.received)
        if (m.msg == WM_USER)
            queries.push_back(m.lp);
    return queries;
}

int CountOf(const PlayerDouble& player, UINT msg)
{
    int count = 0;
    for (const ReceivedMessage& m : player.received)
        count += m.msg == msg;
    return count;
}

void ForgetReceived(PlayerDouble& player)
{
    player.received.clear();
}

void PumpMessages(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    MSG msg;
    do {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < timeoutMs);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool SettlePlayer(PlayerDouble& player)
{
    constexpr UINT kMarker = WM_APP + 0x5E7;
    int before = CountOf(player, kMarker);
    // Posted messages are fetched before input: wait for the input queue to be empty too.
    return PostMessageA(player.window, kMarker, 0, 0) && PumpUntil([&] {
        return CountOf(player, kMarker) > before && HIWORD(GetQueueStatus(QS_INPUT)) == 0;
    });
}

bool LoadPlugin(LoadedPlugin& loaded, HWND player, const char* path)
{
    loaded.module = LoadLibraryA(path);
    if (!loaded.module)
        return false;
    using GetPlugin = GeneralPurposePlugin* (*)();
    auto get = reinterpret_cast<GetPlugin>(
        reinterpret_cast<void*>(GetProcAddress(loaded.module, "winampGetGeneralPurposePlugin")));
    loaded.plugin = get ? get() : nullptr;
    if (!loaded.plugin) {
        FreeLibrary(loaded.module);
        loaded.module = nullptr;
        return false;
    }
    loaded.plugin->hwndParent = player;
    loaded.plugin->hDllInstance = loaded.module;
    loaded.plugin->init();
    return true;
}

void UnloadPlugin(LoadedPlugin& loaded)
{
    if (!loaded.module)
        return;
    loaded.plugin->quit();
    FreeLibrary(loaded.module);
    loaded = {};
}

void InjectKey(WORD vk, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void TapKey(WORD vk)
{
    InjectKey(vk, false);
    InjectKey(vk, true);
}

void TapWithCtrlAlt(WORD vk)
{
    InjectKey(VK_CONTROL, false);
    InjectKey(VK_MENU, false);
    TapKey(vk);
    InjectKey(VK_MENU, true);
    InjectKey(VK_CONTROL, true);
}

HWND CreateFocusedWindow(WNDPROC proc, const char* className)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, className, "focus", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                100, nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    return hwnd;
}

void DeleteSettingsTree()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik");
}
