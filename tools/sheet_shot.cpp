// Shows gen_velmora.dll's configuration sheet page by page for tools/screenshots.sh:
// sheet_shot DIR writes DIR\<page>.ready (the sheet's geometry, WxH+X+Y) once a page is up and
// waits for DIR\<page>.done before going on; both pages shown, it cancels the sheet.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <thread>

#include "player_double.h"

namespace {

bool WaitFor(const std::string& path, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20))
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}

HWND WaitForSheet()
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        HWND sheet = FindWindowA("#32770", "Velmora");
        if (sheet && SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0))
            return sheet;
    }
    return nullptr;
}

void ShowPage(HWND sheet, int index, const std::string& dir, const char* name)
{
    SendMessageA(sheet, PSM_SETCURSEL, index, 0);
    RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r;
    GetWindowRect(sheet, &r);
    std::string ready = dir + "\\" + name + ".ready";
    if (FILE* out = std::fopen(ready.c_str(), "w")) {
        std::fprintf(out, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        std::fclose(out);
    }
    WaitFor(dir + "\\" + name + ".done", 60000);
}

void DriveSheet(const std::string& dir)
{
    HWND sheet = WaitForSheet();
    if (!sheet)
        return;
    SetWindowPos(sheet, HWND_TOP, 16, 16, 0, 0, SWP_NOSIZE);
    ShowPage(sheet, 0, dir, "settings");
    ShowPage(sheet, 1, dir, "about");
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    PostMessageA(sheet, WM_NULL, 0, 0);   // wakes the modal loop so it sees the sheet is done
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    PlayerDouble player;
    LoadedPlugin loaded;
    if (!CreatePlayerWindow(player) || !LoadPlugin(loaded, player.window))
        return 1;
    std::thread driver(DriveSheet, std::string(argv[1]));
    loaded.plugin->config();
    driver.join();
    UnloadPlugin(loaded);
    DestroyPlayerWindow(player);
    return 0;
}
