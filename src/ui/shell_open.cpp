// The one call with an effect outside the process: asking the shell to open a link.
#include "ui/ui.h"

#include <shellapi.h>

void OpenLinkTarget(const char* target)
{
    ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);   // failure is silent
}
