// Records what would have been opened instead of opening it.
#include "shell_open_stub.h"

#include "ui/ui.h"

std::vector<std::string> gOpenedLinks;
std::function<void()> gDuringOpen;

void OpenLinkTarget(const char* target)
{
    gOpenedLinks.push_back(target ? target : "(null)");
    if (gDuringOpen)
        gDuringOpen();
}
