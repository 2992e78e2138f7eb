// Interactive mode: the player's window shows its state, has buttons for the player's own
// commands and a Configure button that opens the plug-in's configuration.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "demo.h"
#include "demo_player.h"

namespace {

constexpr UINT kConfigureButton = 1000;   // outside the player's command range
constexpr UINT kClockTimer = 1;
constexpr UINT kClockTickMs = 1000;

struct Button {
    const wchar_t* label;
    UINT id;   // player commands reach the player exactly as the plug-in's do
};

constexpr std::array<Button, 7> kButtons{{
    {L"|<<", kCmdPrevTrack}, {L">", kCmdPlay}, {L"||", kCmdPause}, {L"[]", kCmdStop},
    {L">>|", kCmdNextTrack}, {L"Vol -", kCmdVolumeDown}, {L"Vol +", kCmdVolumeUp},
}};

struct Interactive {
    LoadedPlugin loaded;
    HWND stateText;
    HWND commandText;
    WNDPROC playerProc;
    DemoPlayer* player;
};

Interactive gDemo;   // the one demo window's controls; procedures below have no other handle

// Unicode controls, like the player's window, so the title shows in its own script.
HWND AddChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
              int w, int h, UINT id)
{
    HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    return child;
}

void ShowState(DemoPlayer& demo)
{
    char state[64], text[160];
    FormatState(demo, state, sizeof state);
    std::wstring shown(state, state + std::strlen(state));   // ASCII
    shown += std::wstring(L"  \"") + TrackTitle(demo.track) + L"\"";
    SetWindowTextW(gDemo.stateText, shown.c_str());
    char command[64] = "none yet";
    if (demo.lastCommand)
        FormatCommand(demo.lastCommand, command, sizeof command);
    std::snprintf(text, sizeof text, "Last command received: %s", command);
    SetWindowTextA(gDemo.commandText, text);
}

void OnButton(DemoPlayer&, UINT id)
{
    if (id == kConfigureButton && gDemo.loaded.plugin)
        gDemo.loaded.plugin->config();
}

void BuildControls(HWND window)
{
    AddChild(window, L"STATIC",
             L"Press a media key or Ctrl+Alt+PageDown/PageUp in any window.", 0, 10, 10, 390, 18, 0);
    AddChild(window, L"STATIC", L"Volume Up/Down are off until ticked under Configure.", 0,
             10, 28, 390, 18, 0);
    gDemo.stateText = AddChild(window, L"STATIC", L"", 0, 10, 50, 390, 18, 0);
    gDemo.commandText = AddChild(window, L"STATIC", L"", 0, 10, 72, 390, 18, 0);
    int x = 10;
    for (const Button& b : kButtons) {
        AddChild(window, L"BUTTON", b.label, BS_PUSHBUTTON, x, 105, 50, 26, b.id);
        x += 55;
    }
    AddChild(window, L"BUTTON", L"Configure...", BS_PUSHBUTTON, 10, 145, 100, 26, kConfigureButton);
}

// Closing only ends the message loop: quit and FreeLibrary must run after the plug-in's
// window procedure, which is on the stack here, has returned.
LRESULT CALLBACK DemoWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return CallWindowProcW(gDemo.playerProc, hwnd, msg, wp, lp);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    AdvanceClock(*gDemo.player, kClockTickMs);
    ForgetReceived(gDemo.player->window);   // nobody reads the record here; keep it from growing
}

}  // namespace

int RunInteractive(const char* dllPath)
{
    DemoPlayer demo;
    gDemo.player = &demo;
    AttachDemoPlayer(demo);
    demo.onChange = ShowState;
    demo.onOtherCommand = OnButton;
    if (!CreatePlayerWindow(demo.window, L"Velmora demo player")) {
        std::printf("velmora_demo: no window; is a display available?\n");
        return 1;
    }
    HWND window = demo.window.window;
    BuildControls(window);
    // In the window's own form, so it stays a Unicode window.
    gDemo.playerProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DemoWindowProc)));
    GoToTrack(demo, 0);   // the first title
    ShowState(demo);
    ShowWindow(window, SW_SHOWNORMAL);
    if (!LoadPlugin(gDemo.loaded, window, dllPath)) {
        std::printf("velmora_demo: could not load %s (error %lu)\n", dllPath, GetLastError());
        DestroyPlayerWindow(demo.window);
        return 1;
    }
    SetTimer(window, kClockTimer, kClockTickMs, Tick);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(window, kClockTimer);
    UnloadPlugin(gDemo.loaded);
    DestroyPlayerWindow(demo.window);
    gDemo = {};
    return 0;
}
