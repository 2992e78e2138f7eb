// The hyperlink control of the About page: a static text drawn as a link that opens its target.
#include "ui/ui.h"

namespace {

constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

UINT TextFormat(HWND hwnd)
{
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    UINT format = DT_SINGLELINE | DT_NOPREFIX;   // an address's '&' is text, not a mnemonic
    if (style & SS_CENTER)
        format |= DT_CENTER;
    if (style & SS_RIGHT)
        format |= DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        format |= DT_VCENTER;
    return format;
}

HFONT MakeUnderlinedFont()
{
    HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTA description;
    if (!GetObjectA(stock, sizeof description, &description))
        return nullptr;
    description.lfUnderline = TRUE;
    HFONT font = CreateFontIndirectA(&description);
    DeleteObject(stock);   // not a slip: the system ignores DeleteObject on stock objects
    return font;
}

// The text colour is left as set: the DC belongs to this paint only.
void DrawLinkText(HWND hwnd, HDC dc, HFONT font, RECT* client, UINT format)
{
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, kLinkBlue);
    int previousMode = SetBkMode(dc, TRANSPARENT);
    char text[kLinkTextMax + 1];
    GetWindowTextA(hwnd, text, sizeof text);
    DrawTextA(dc, text, -1, client, format);
    if (previousFont)
        SelectObject(dc, previousFont);
    SetBkMode(dc, previousMode);
}

// What a transparent static shows through: the parent's brush for its statics, else the face.
// The static itself may have drawn its own plain text here, in a font other than the link's.
void EraseLink(HWND hwnd, HDC dc, const RECT* client)
{
    auto brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(hwnd), WM_CTLCOLORSTATIC,
        reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    FillRect(dc, client, brush ? brush : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

bool ShowsFocus(HWND hwnd)
{
    return GetFocus() == hwnd && !(SendMessageA(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

void PaintLink(HWND hwnd, HyperlinkData* link)
{
    UINT format = TextFormat(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) {
        ValidateRect(hwnd, nullptr);   // or the system asks for this paint for ever
        return;
    }
    if (!link->font)
        link->font = MakeUnderlinedFont();
    EraseLink(hwnd, dc, &client);
    DrawLinkText(hwnd, dc, link->font, &client, format);
    if (ShowsFocus(hwnd))
        DrawFocusRect(dc, &client);
    EndPaint(hwnd, &paint);
}

LRESULT OnSetText(HWND hwnd, HyperlinkData* link, WPARAM wp, LPARAM lp)
{
    LRESULT result = CallWindowProcA(link->previousProc, hwnd, WM_SETTEXT, wp, lp);
    InvalidateRect(hwnd, nullptr, FALSE);   // the static would erase and draw plain text
    return result;
}

// IDC_HAND is a shared system cursor: it is loaded once and never destroyed.
void ShowHandCursor(HyperlinkData* link)
{
    if (!link->cursor)
        link->cursor = LoadCursorA(nullptr, IDC_HAND);
    SetCursor(link->cursor);
}

// A completed click, Enter or Space. The address is copied first: the shell may run message
// loops in which the control, and its record with it, is destroyed. An empty target opens the
// shown text; with neither there is nothing to open, and an empty name would make the shell open
// the current folder instead.
void OpenTarget(HWND hwnd, HyperlinkData* link)
{
    link->pressed = 0;
    char what[kLinkTextMax + 1];
    lstrcpynA(what, link->target, sizeof what);
    if (!what[0])
        GetWindowTextA(hwnd, what, sizeof what);
    if (what[0])
        OpenLinkTarget(what);
}

// The mouse is not captured: a press on the link stays pending through a release elsewhere.
LRESULT OnButtonUp(HWND hwnd, HyperlinkData* link, WPARAM wp, LPARAM lp)
{
    WNDPROC previous = link->previousProc;   // the record may be gone after the open
    if (link->pressed == 1)
        OpenTarget(hwnd, link);
    return IsWindow(hwnd) ? CallWindowProcA(previous, hwnd, WM_LBUTTONUP, wp, lp) : 0;
}

constexpr bool IsOpenKey(WPARAM vk)
{
    return vk == VK_RETURN || vk == VK_SPACE;
}

// Without this the dialog manager gives Enter to the sheet's default button. The link is no
// static to it either, so its '&' makes no mnemonic.
LRESULT DialogCode(LPARAM lp)
{
    const auto* msg = reinterpret_cast<const MSG*>(lp);
    return msg && msg->message == WM_KEYDOWN && IsOpenKey(msg->wParam) ? DLGC_WANTMESSAGE : 0;
}

// A held key repeats its key-down; the link opens once per press, as it does per click.
bool OnKeyDown(HWND hwnd, HyperlinkData* link, WPARAM vk, LPARAM lp)
{
    if (!IsOpenKey(vk))
        return false;
    if (!(lp & 0x40000000))   // the key was up before this message
        OpenTarget(hwnd, link);
    return true;
}

// The last message the control gets: free the record, then let the static clean up after itself.
LRESULT OnNcDestroy(HWND hwnd, HyperlinkData* link, WPARAM wp, LPARAM lp)
{
    WNDPROC previous = link->previousProc;
    if (link->font)
        DeleteObject(link->font);
    SetWindowLongA(hwnd, GWL_USERDATA, 0);
    HeapFree(GetProcessHeap(), 0, link);
    return CallWindowProcA(previous, hwnd, WM_NCDESTROY, wp, lp);
}

bool IsLink(HWND control)
{
    return GetWindowLongA(control, GWL_WNDPROC) == reinterpret_cast<LONG>(HyperlinkWindowProc);
}

}  // namespace

// A control that is already a link is refused: its new record would name this procedure as the
// previous one, and every message would call it again for ever.
int MakeHyperlink(HWND dialog, int controlId, const char* target)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (!control || IsLink(control))
        return 0;
    auto* link = static_cast<HyperlinkData*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(HyperlinkData)));
    if (!link)
        return 0;
    if (target)
        lstrcpynA(link->target, target, sizeof link->target);   // longer targets are cut
    link->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongA(control, GWL_WNDPROC, reinterpret_cast<LONG>(HyperlinkWindowProc)));
    if (!link->previousProc) {
        HeapFree(GetProcessHeap(), 0, link);
        return 0;
    }
    SetWindowLongA(control, GWL_USERDATA, reinterpret_cast<LONG>(link));
    // The keyboard reaches it too; the template keeps the static as it was.
    SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) | WS_TABSTOP);
    return 1;
}

LRESULT CALLBACK HyperlinkWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* link = reinterpret_cast<HyperlinkData*>(GetWindowLongA(hwnd, GWL_USERDATA));
    if (!link)   // between the two slots being set, or after the record is gone
        return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_SETTEXT:     return OnSetText(hwnd, link, wp, lp);
    case WM_PAINT:       PaintLink(hwnd, link); return 1;
    case WM_NCHITTEST:   return HTCLIENT;   // a static is transparent to the mouse otherwise
    case WM_SETCURSOR:   ShowHandCursor(link); return 1;
    case WM_NCDESTROY:   return OnNcDestroy(hwnd, link, wp, lp);
    case WM_LBUTTONDOWN: link->pressed = 1; break;
    case WM_LBUTTONUP:   return OnButtonUp(hwnd, link, wp, lp);
    case WM_GETDLGCODE:  return DialogCode(lp);
    case WM_KEYDOWN:     if (OnKeyDown(hwnd, link, wp, lp)) return 0; break;
    case WM_SETFOCUS:    // the focus frame comes or goes
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE: InvalidateRect(hwnd, nullptr, FALSE); break;
    }
    return CallWindowProcA(link->previousProc, hwnd, msg, wp, lp);
}
