#include <gtest/gtest.h>
#include "keys/keys.h"
TEST(HostDispatch, Builds) { EXPECT_EQ(CommandForKey(180, 1, 0), 0u); }
