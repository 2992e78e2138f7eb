// Control and template ids shared by the resource script and the code.
#pragma once

#define IDD_ABOUT 101
#define IDD_SETTINGS 102

#define IDC_HOMEPAGE 1001
#define IDC_KEY_PLAY 1002
#define IDC_KEY_STOP 1003
#define IDC_KEY_PREV 1004
#define IDC_KEY_NEXT 1005
#define IDC_KEY_VOLUP 1006
#define IDC_KEY_VOLDOWN 1007
#define IDC_HOTKEYS_PAGE 1008
#define IDC_HOTKEYS_ARROWS 1009

// The one home of the address that the About page shows, its link opens and the version
// resource names; a macro because the resource compiler reads it too.
#define VELMORA_HOMEPAGE "https://dravnik.net/velmora/"
