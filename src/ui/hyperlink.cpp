// The hyperlink control of the About page.
#include "ui/ui.h"
