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

constexpr wchar_t kPlayerClassW[] = L"VelmoraPlayerDouble";
constexpr char kPlayerClassA[] = "VelmoraPlayerDoubleA";

std::wstring Widen(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& text, UINT codePage)
{
    int length = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? length - 1 : 0, '\0');
    if (length > 1)
        WideCharToMultiByte(codePage, 0, text.c_str(), -1, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// The caption into the caller's buffer of `size` characters, cut to fit; the count copied.
template <typename Char>
LRESULT CopyText(const std::basic_string<Char>& text, WPARAM size, LPARAM buffer)
{
    if (size == 0 || !buffer)
        return 0;
    size_t count = text.size() < size ? text.size() : size - 1;
    auto* out = reinterpret_cast<Char*>(buffer);
    text.copy(out, count);
    out[count] = 0;
    return static_cast<LRESULT>(count);
}

// The player answers its title from its own wide caption; an ANSI window in the ANSI code page.
LRESULT OnGetText(const PlayerDouble& player, WPARAM size, LPARAM buffer, bool wide)
{
    return wide ? CopyText(player.caption, size, buffer)
                : CopyText(Narrow(player.caption, CP_ACP), size, buffer);
}

LRESULT OnGetTextLength(const PlayerDouble& player, bool wide)
{
    return static_cast<LRESULT>(wide ? player.caption.size()
                                     : Narrow(player.caption, CP_ACP).size());
}

void OnSetText(PlayerDouble& player, LPARAM text, bool wide)
{
    if (!text)
        player.caption.clear();
    else
        player.caption = wide ? reinterpret_cast<const wchar_t*>(text)
                              : Widen(reinterpret_cast<const char*>(text));
}

// One body for both kinds of window; returns false where the default procedure answers.
bool HandleMessage(PlayerDouble& player, UINT msg, WPARAM wp, LPARAM lp, bool wide, LRESULT* result)
{
    player.received.push_back({msg, wp, lp});
    *result = 0;
    switch (msg) {
    case WM_USER:
        if (lp == 104) { *result = player.playState; return true; }
        if (lp == 105) { *result = player.positionMs; return true; }
        return false;
    case WM_GETTEXT:        *result = OnGetText(player, wp, lp, wide); return true;
    case WM_GETTEXTLENGTH:  *result = OnGetTextLength(player, wide); return true;
    case WM_SETTEXT:        OnSetText(player, lp, wide); return false;   // the frame shows it too
    case WM_COMMAND:        if (player.onCommand) player.onCommand(player, LOWORD(wp)); return false;
    case WM_ENDSESSION:     if (wp && player.onEndSession) player.onEndSession(player); return false;
    case WM_NCDESTROY:      player.window = nullptr; return false;
    }
    return false;
}

PlayerDouble* PlayerOf(HWND hwnd, UINT msg, LPARAM lp)
{
    // lpCreateParams sits at the same place in CREATESTRUCTA and CREATESTRUCTW.
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                                                   reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    return reinterpret_cast<PlayerDouble*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

template <bool kWide>
LRESULT CALLBACK PlayerWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    PlayerDouble* player = PlayerOf(hwnd, msg, lp);
    LRESULT result;
    if (player && HandleMessage(*player, msg, wp, lp, kWide, &result))
        return result;
    return kWide ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

// Each fails harmlessly when already registered.
void RegisterPlayerClasses()
{
    WNDCLASSW wide{};
    wide.lpfnWndProc = PlayerWindowProc<true>;
    wide.hInstance = GetModuleHandleW(nullptr);
    wide.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wide.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wide.lpszClassName = kPlayerClassW;
    RegisterClassW(&wide);
    WNDCLASSA ansi{};
    ansi.lpfnWndProc = PlayerWindowProc<false>;
    ansi.hInstance = wide.hInstance;
    ansi.hCursor = wide.hCursor;
    ansi.hbrBackground = wide.hbrBackground;
    ansi.lpszClassName = kPlayerClassA;
    RegisterClassA(&ansi);
}

void DispatchPending()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A keyboard sends these with the extended prefix: navigation, and the browser, media and volume keys.
bool IsExtendedKey(WORD vk)
{
    return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE ||
           (vk >= VK_BROWSER_BACK && vk <= VK_LAUNCH_APP2);
}

HHOOK gObserver;
std::vector<ObservedKey> gObserved;

LRESULT CALLBACK ObserverProc(int code, WPARAM msg, LPARAM lp)
{
    if (code == HC_ACTION)
        gObserved.push_back({msg, reinterpret_cast<KBDLLHOOKSTRUCT*>(lp)->vkCode});
    return CallNextHookEx(gObserver, code, msg, lp);
}

void WINAPI DropDebugString(const char*) {}

// GoogleTest copies each failure to OutputDebugStringA, whose exception Wine under qemu dies
// of: the first failed check would take the test program down with it.
[[maybe_unused]] const bool gDebugStringDropped =
    ReplaceImport("kernel32.dll", "OutputDebugStringA", reinterpret_cast<void*>(DropDebugString));

}  // namespace

bool CreatePlayerWindow(PlayerDouble& player, const wchar_t* caption, PlayerCharset charset)
{
    RegisterPlayerClasses();
    player.charset = charset;
    player.caption = caption;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (charset == kUnicode)
        player.window = CreateWindowExW(0, kPlayerClassW, caption, WS_OVERLAPPEDWINDOW, 100, 100,
                                        420, 240, nullptr, nullptr, instance, &player);
    else
        player.window = CreateWindowExA(0, kPlayerClassA, Narrow(caption, CP_ACP).c_str(),
                                        WS_OVERLAPPEDWINDOW, 100, 100, 420, 240, nullptr, nullptr,
                                        instance, &player);
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

LONG_PTR WindowProcOf(HWND window)
{
    return IsWindowUnicode(window) ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                   : GetWindowLongPtrA(window, GWLP_WNDPROC);
}

std::string Utf8(const std::wstring& text)
{
    return Narrow(text, CP_UTF8);
}

std::wstring WindowText(HWND window)
{
    std::wstring text(512, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string TitleFault(PlayerDouble& player, int track)
{
    bool unicode = player.charset == kUnicode;
    std::wstring title = std::to_wstring(track) +
                         (unicode ? L". 日本語 ไทย עברית - Winamp" : L". Artist - Title - Winamp");
    SetWindowTextW(player.window, title.c_str());
    std::wstring readBack = WindowText(player.window);
    std::string fault;
    if (player.caption != title)
        fault += "the player's own procedure received \"" + Utf8(player.caption) + "\"; ";
    if (readBack != title)
        fault += "read back \"" + Utf8(readBack) + "\"; ";
    if ((IsWindowUnicode(player.window) != FALSE) != unicode)
        fault += unicode ? "the window is ANSI now; " : "the window is Unicode now; ";
    return fault.empty() ? fault : "set \"" + Utf8(title) + "\": " + fault;
}

void PumpMessages(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        DispatchPending();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < timeoutMs);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
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
    return PostMessageW(player.window, kMarker, 0, 0) && PumpUntil([&] {
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

void QuitPlugin(LoadedPlugin& loaded)
{
    if (loaded.module)
        loaded.plugin->quit();
    loaded = {};
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return "";
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

INPUT KeyInput(WORD vk, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

void InjectKey(WORD vk, bool up)
{
    INPUT input = KeyInput(vk, up);
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

bool InstallObserver()
{
    gObserved.clear();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);   // a queue, or the hook is never called
    gObserver = SetWindowsHookExW(WH_KEYBOARD_LL, ObserverProc, GetModuleHandleW(nullptr), 0);
    return gObserver != nullptr;
}

void RemoveObserver()
{
    if (gObserver)
        UnhookWindowsHookEx(gObserver);
    gObserver = nullptr;
}

std::vector<ObservedKey>& Observed()
{
    return gObserved;
}

int ObservedCount(DWORD vk, WPARAM msg)
{
    int count = 0;
    for (const ObservedKey& key : gObserved)
        count += key.vk == vk && key.msg == msg;
    return count;
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

HWND CreateOtherWindow(const char* caption)
{
    return CreateWindowExA(0, "STATIC", caption, 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

bool SeedValue(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kVelmoraKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) ==
                   ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

bool SeedDword(const char* name, DWORD value)
{
    return SeedValue(name, REG_DWORD, &value, sizeof value);
}

void DeleteSettingsTree()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Dravnik");
}
