// The one call with an effect outside the process: asking the shell to open a link.
#include "ui/ui.h"
