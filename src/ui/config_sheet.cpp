// Placeholder until the Settings and About pages land.
#include "ui/ui.h"

void RunConfigSheet()
{
}
