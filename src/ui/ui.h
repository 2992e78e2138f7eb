// The configuration property sheet and the hyperlink control on its About page.
#pragma once

#include <windows.h>

void RunConfigSheet();
