// The configuration property sheet and the hyperlink control on its About page.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

// The sheet header in its second version and the two page records it points at.
struct ConfigSheet {
    PROPSHEETHEADERA header;
    PROPSHEETPAGEA_V2 pages[2];
};

// Fills the sheet the player's configure request shows: Settings, then About, over the player.
void FillConfigSheet(ConfigSheet* sheet);
// Runs the sheet modally; returns when the user closes it. While it runs, a further call brings
// it to the front and returns at once.
void RunConfigSheet();

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK AboutPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);

inline constexpr int kLinkTextMax = 200;

// Lives in the link's user-data slot, on the process heap, until WM_NCDESTROY.
struct HyperlinkData {
    char target[kLinkTextMax + 1];   // empty: open the shown text
    WNDPROC previousProc;
    HCURSOR cursor;                  // the shared system hand, never destroyed
    HFONT font;                      // made on first paint
    int pressed;                     // a left press began on the link and was not yet released on it
};

// 1 when the static control is now a link; 0 leaves it as it was.
int MakeHyperlink(HWND dialog, int controlId, const char* target);
LRESULT CALLBACK HyperlinkWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Asks the shell to open the address with its default handler.
void OpenLinkTarget(const char* target);
