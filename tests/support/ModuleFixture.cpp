#include "support/ModuleFixture.h"

void ModuleFixture::SetUp()
{
    DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr);
}

void ModuleFixture::TearDown()
{
    EXPECT_EQ(moduleRecord.lockCount, 0) << "a test left objects or server locks behind";
    DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
}
