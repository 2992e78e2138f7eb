// Scripted mode: every multimedia key and both hotkeys go through SendInput, the plug-in's hook
// and hotkeys, and end as commands to the simulated player; one table row per key.
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "demo.h"
#include "demo_player.h"

namespace {

struct ScriptedKey {
    const char* name;
    std::array<WORD, 3> keys;   // pressed in order, released in reverse; 0 ends the list
    UINT expected;              // the command the player must receive, and no other
};

// One story: each key acts on what the previous one left, from a track 12 s in.
constexpr std::array<ScriptedKey, 8> kScript{{
    {"Previous Track", {VK_MEDIA_PREV_TRACK}, kCmdPlay},   // >2 s in: back to the start
    {"Next Track", {VK_MEDIA_NEXT_TRACK}, kCmdNextTrack},
    {"Play/Pause", {VK_MEDIA_PLAY_PAUSE}, kCmdPause},
    {"Stop", {VK_MEDIA_STOP}, kCmdStop},
    {"Volume Up", {VK_VOLUME_UP}, kCmdVolumeUp},
    {"Volume Down", {VK_VOLUME_DOWN}, kCmdVolumeDown},
    {"Ctrl+Alt+PageDown", {VK_CONTROL, VK_MENU, VK_NEXT}, kCmdNextTrack},
    {"Ctrl+Alt+PageUp", {VK_CONTROL, VK_MENU, VK_PRIOR}, kCmdPrevTrack},
}};

constexpr LRESULT kStartPositionMs = 12000;

// What the user had of the settings the demo enables for its run, to put back afterwards.
struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct SavedSettings {
    bool parentExisted = false;   // HKCU\SOFTWARE\Dravnik
    bool keyExisted = false;
    std::array<SavedValue, 6> values;
};

constexpr char kParentKeyPath[] = "SOFTWARE\\Dravnik";

bool KeyExists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void SaveValue(HKEY key, const char* name, SavedValue& saved)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &saved.type, nullptr, &size) != ERROR_SUCCESS)
        return;
    saved.data.resize(size);
    saved.present = RegQueryValueExA(key, name, nullptr, &saved.type, saved.data.data(),
                                     &size) == ERROR_SUCCESS;
    saved.data.resize(size);
}

// The volume keys are off by default so they keep working for the system; the demo turns all
// six on for its run, so every row shows the plug-in at work, and puts the user's choice back.
bool EnableAllKeys(SavedSettings& saved)
{
    saved.parentExisted = KeyExists(kParentKeyPath);
    saved.keyExisted = KeyExists(kSettingsKeyPath);
    HKEY key;
    if (saved.keyExisted &&
        RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        for (size_t i = 0; i < saved.values.size(); ++i)
            SaveValue(key, kKeyValueNames[i], saved.values[i]);
        RegCloseKey(key);
    }
    bool written = true;
    for (const char* name : kKeyValueNames)
        written &= SeedDword(name, 1);
    return written;
}

void RestoreSettings(const SavedSettings& saved)
{
    if (!saved.keyExisted) {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        if (!saved.parentExisted)
            RegDeleteKeyA(HKEY_CURRENT_USER, kParentKeyPath);   // fails, rightly, if not empty
        return;
    }
    for (size_t i = 0; i < saved.values.size(); ++i) {
        const SavedValue& value = saved.values[i];
        if (!value.present)
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, kKeyValueNames[i]);
        else
            SeedValue(kKeyValueNames[i], value.type, value.data.data(),
                      static_cast<DWORD>(value.data.size()));
    }
}

// Presses the keys in order and releases them in reverse; if the system took only part of the
// presses, every key is still released, so nothing stays held for later programs.
bool PressKeys(const ScriptedKey& key)
{
    std::vector<INPUT> inputs;
    for (WORD vk : key.keys)
        if (vk)
            inputs.push_back(KeyInput(vk, false));
    size_t pressed = inputs.size();
    for (size_t i = pressed; i-- > 0;)
        inputs.push_back(KeyInput(inputs[i].ki.wVk, true));
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent == inputs.size())
        return true;
    SendInput(static_cast<UINT>(pressed), inputs.data() + pressed, sizeof(INPUT));
    return false;
}

// A swallowed multimedia key never reaches the focused window, as a key or as an app command.
bool KeyReachedWindow(const PlayerDouble& window, size_t from, WORD vk)
{
    for (size_t i = from; i < window.received.size(); ++i) {
        const ReceivedMessage& m = window.received[i];
        bool keyDown = (m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN) && m.wp == vk;
        if (keyDown || m.msg == WM_APPCOMMAND)
            return true;
    }
    return false;
}

struct Row {
    std::string key, commands, before, after, titleSet, titleRead, verdict;
};

std::string Verdict(const ScriptedKey& key, bool sent, bool commandRight, bool leaked,
                    bool titleKept)
{
    if (!sent)
        return "FAILED: the system refused the key presses";
    if (commandRight && !leaked && titleKept)
        return "ok";
    std::string faults;
    if (!commandRight || leaked) {
        char text[64];
        FormatCommand(key.expected, text, sizeof text);
        faults = "expected " + std::string(text) + " only" +
                 (leaked ? "; the key also reached the window" : "");
    }
    if (!titleKept)
        faults += std::string(faults.empty() ? "" : "; ") + "the title read back is not the one set";
    return "FAILED: " + faults;
}

Row RunKey(DemoPlayer& demo, const ScriptedKey& key)
{
    Row row;
    row.key = key.name;
    char text[64];
    FormatState(demo, text, sizeof text);
    row.before = text;
    size_t messagesBefore = demo.window.received.size();
    size_t commandsBefore = CommandsOf(demo.window).size();
    bool sent = PressKeys(key);
    PumpUntil([&] { return CommandsOf(demo.window).size() > commandsBefore; });
    SettlePlayer(demo.window);   // so that a second, wrong command or a leaked key shows up
    std::vector<UINT> commands = CommandsOf(demo.window);
    commands.erase(commands.begin(), commands.begin() + static_cast<long>(commandsBefore));
    for (UINT command : commands) {
        FormatCommand(command, text, sizeof text);
        row.commands += (row.commands.empty() ? "" : " + ") + std::string(text);
    }
    if (commands.empty())
        row.commands = "none";
    FormatState(demo, text, sizeof text);
    row.after = text;
    // What the taskbar and Alt+Tab would show: the player's title, whole, in any script.
    std::wstring shown = WindowText(demo.window.window);
    row.titleSet = Utf8(demo.title);
    row.titleRead = Utf8(shown);
    bool mediaKey = key.keys[1] == 0;
    bool leaked = mediaKey && KeyReachedWindow(demo.window, messagesBefore, key.keys[0]);
    bool commandRight = commands.size() == 1 && commands[0] == key.expected;
    row.verdict = Verdict(key, sent, commandRight, leaked, shown == demo.title);
    return row;
}

void PrintTable(const std::vector<Row>& rows)
{
    std::printf("%-18s | %-19s | %-24s    %-24s | %s\n", "key", "command received",
                "player before", "player after", "result");
    std::printf("%s\n", std::string(105, '-').c_str());
    for (const Row& r : rows) {
        std::printf("%-18s | %-19s | %-24s \xE2\x86\x92  %-24s | %s\n", r.key.c_str(),
                    r.commands.c_str(), r.before.c_str(), r.after.c_str(), r.verdict.c_str());
        std::printf("%-18s   title set \"%s\", read back \"%s\"\n", "", r.titleSet.c_str(),
                    r.titleRead.c_str());
    }
}

bool ShowPlayer(DemoPlayer& demo)
{
    AttachDemoPlayer(demo);
    if (!CreatePlayerWindow(demo.window, L"Velmora demo player"))
        return false;
    ShowWindow(demo.window.window, SW_SHOWNORMAL);
    SetForegroundWindow(demo.window.window);
    SettlePlayer(demo.window);
    GoToTrack(demo, 1);
    demo.window.playState = kPlayStatePlaying;
    demo.window.positionMs = kStartPositionMs;
    return true;
}

}  // namespace

int RunScripted(const char* dllPath)
{
    DemoPlayer demo;
    if (!ShowPlayer(demo)) {
        std::printf("velmora_demo: could not create the player window\n");
        return 1;
    }
    SavedSettings saved;
    bool enabled = EnableAllKeys(saved);
    LoadedPlugin loaded;
    if (!LoadPlugin(loaded, demo.window.window, dllPath)) {
        std::printf("velmora_demo: could not load %s (error %lu)\n", dllPath, GetLastError());
        RestoreSettings(saved);
        DestroyPlayerWindow(demo.window);
        return 1;
    }
    std::printf("Velmora demo player: %s loaded; every key goes through SendInput.\n"
                "All six multimedia keys are switched on for this run (the volume keys are off by\n"
                "default); your own settings are put back afterwards.\n\n", dllPath);
    std::vector<Row> rows;
    for (const ScriptedKey& key : kScript)
        rows.push_back(RunKey(demo, key));
    UnloadPlugin(loaded);
    RestoreSettings(saved);
    DestroyPlayerWindow(demo.window);

    PrintTable(rows);
    int passed = 0;
    for (const Row& r : rows)
        passed += r.verdict == "ok";
    if (!enabled)
        std::printf("Could not enable all six keys in HKCU\\%s for the run.\n", kSettingsKeyPath);
    std::printf("%d of %d keys did what they should.\n", passed, static_cast<int>(rows.size()));
    std::fflush(stdout);
    return passed == static_cast<int>(rows.size()) && enabled ? 0 : 1;
}
