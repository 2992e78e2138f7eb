// The configuration property sheet: the Settings page picks the keys, the About page shows a link.
#include <array>
#include <cstddef>

#include "host/host.h"
#include "resource.h"
#include "ui/ui.h"

namespace {

// The header's second version ends after hbmHeader: 52 bytes, whatever later headers add.
constexpr DWORD kHeaderV2Size = offsetof(PROPSHEETHEADERA, hbmHeader) + sizeof(HBITMAP);
static_assert(kHeaderV2Size == 52);
static_assert(sizeof(PROPSHEETPAGEA_V2) == 48);   // the sheet walks the pages by this size

struct KeyBox {
    int id;
    int KeyFlags::*flag;
};

constexpr std::array<KeyBox, 6> kKeyBoxes{{
    {IDC_KEY_PLAY, &KeyFlags::Key_Play},
    {IDC_KEY_STOP, &KeyFlags::Key_Stop},
    {IDC_KEY_PREV, &KeyFlags::Key_Prev},
    {IDC_KEY_NEXT, &KeyFlags::Key_Next},
    {IDC_KEY_VOLUP, &KeyFlags::Key_VolUp},
    {IDC_KEY_VOLDOWN, &KeyFlags::Key_VolDown},
}};

constexpr bool IsKeyBox(int id)
{
    for (const KeyBox& box : kKeyBoxes)
        if (box.id == id)
            return true;
    return false;
}
static_assert(IsKeyBox(IDC_KEY_VOLDOWN) && !IsKeyBox(IDC_HOTKEYS_PAGE));

void FillPage(PROPSHEETPAGEA_V2* page, int templateId, const char* title, DLGPROC proc)
{
    *page = {};
    page->dwSize = sizeof *page;
    page->hInstance = ModuleInstance();
    page->pszTemplate = MAKEINTRESOURCEA(templateId);
    page->pszTitle = title;   // unused without PSP_USETITLE: the tab shows the template's caption
    page->pfnDlgProc = proc;
}

// The page always starts from the flags in memory, so a cancelled change is forgotten.
void OnInitSettings(HWND page)
{
    gState.sheet = GetParent(page);
    CheckDlgButton(page, IDC_HOTKEYS_PAGE, BST_CHECKED);
    for (const KeyBox& box : kKeyBoxes)
        CheckDlgButton(page, box.id, gState.keys.*box.flag ? BST_CHECKED : BST_UNCHECKED);
}

void OnSettingsCommand(HWND page, int id)
{
    if (IsKeyBox(id))
        SendMessageA(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

// The hook reads the same flags, so the change is live from the next key on.
void OnApply(HWND page)
{
    for (const KeyBox& box : kKeyBoxes)
        gState.keys.*box.flag = IsDlgButtonChecked(page, box.id) == BST_CHECKED ? 1 : 0;
    SaveKeyFlags();
}

bool IsApply(LPARAM lp)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    return header && header->code == static_cast<UINT>(PSN_APPLY);
}

// Restored and shown even when it is minimised or was hidden with a minimised player.
void RaiseSheet(HWND sheet)
{
    if (!sheet)
        return;   // still being made: it shows itself
    ShowWindow(sheet, SW_RESTORE);
    SetForegroundWindow(sheet);
}

}  // namespace

void FillConfigSheet(ConfigSheet* sheet)
{
    FillPage(&sheet->pages[0], IDD_SETTINGS, "Settings", SettingsPageProc);
    FillPage(&sheet->pages[1], IDD_ABOUT, "About", AboutPageProc);
    sheet->header = {};
    sheet->header.dwSize = kHeaderV2Size;
    sheet->header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP;
    sheet->header.hwndParent = PlayerWindow();
    sheet->header.hInstance = ModuleInstance();
    sheet->header.pszCaption = "Velmora";
    sheet->header.nPages = 2;
    sheet->header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(sheet->pages);
}

// The player's Preferences window stays enabled under the sheet, so a second request comes
// through the sheet's own modal loop. A second sheet would let the first one's OK store its stale
// boxes over what the second applied, and its closing would re-enable the player too early.
void RunConfigSheet()
{
    if (gState.sheetRunning) {
        RaiseSheet(gState.sheet);
        return;
    }
    ConfigSheet sheet;
    FillConfigSheet(&sheet);
    gState.sheetRunning = 1;
    PropertySheetA(&sheet.header);   // a sheet that cannot be made is silently not shown
    gState.sheetRunning = 0;
    gState.sheet = nullptr;
}

// Returns 0 for every message: the apply notification reports no error, so the sheet closes or
// stays as the user asked.
INT_PTR CALLBACK SettingsPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: OnInitSettings(page); break;
    case WM_COMMAND:    OnSettingsCommand(page, LOWORD(wp)); break;
    case WM_NOTIFY:     if (IsApply(lp)) OnApply(page); break;
    }
    return 0;
}

// 0 for WM_INITDIALOG too, so the dialog manager puts no default focus on the page.
INT_PTR CALLBACK AboutPageProc(HWND page, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG)
        MakeHyperlink(page, IDC_HOMEPAGE, VELMORA_HOMEPAGE);   // a plain text line if it fails
    return 0;
}
