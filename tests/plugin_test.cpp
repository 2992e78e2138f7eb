#include <gtest/gtest.h>
#include "plugin/plugin.h"
