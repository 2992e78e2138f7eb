// gen_velmora.dll loaded the way the player loads it.
#include <gtest/gtest.h>

#include "player_double.h"

TEST(LoadedDll, ExportReturnsOneDescriptorOfVersion16)
{
    HMODULE module = LoadLibraryA("gen_velmora.dll");
    ASSERT_NE(module, nullptr);
    using GetPlugin = GeneralPurposePlugin* (*)();
    auto get = reinterpret_cast<GetPlugin>(
        reinterpret_cast<void*>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
    ASSERT_NE(get, nullptr);
    GeneralPurposePlugin* first = get();
    EXPECT_EQ(get(), first);
    EXPECT_EQ(first->version, 16);
    EXPECT_STREQ(first->description, "Velmora");
    EXPECT_NE(first->init, nullptr);
    EXPECT_NE(first->config, nullptr);
    EXPECT_NE(first->quit, nullptr);
    EXPECT_EQ(first->hwndParent, nullptr);
    EXPECT_EQ(first->hDllInstance, nullptr);
    FreeLibrary(module);
}
