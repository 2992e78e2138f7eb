// Records what would have been opened instead of opening it.
#include "ui/ui.h"
