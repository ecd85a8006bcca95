#pragma once
#include <gtest/gtest.h>
#include "server/ModuleRecord.h"
#include "server/Exports.h"

// Starts the module's code linked into the test as the loader starts the DLL, and stops it after.
class ModuleFixture : public ::testing::Test {
protected:
    void SetUp() override { DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr); }
    void TearDown() override
    {
        EXPECT_EQ(moduleRecord.lockCount, 0) << "a test left objects or server locks behind";
        DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
    }

    static LONG LockCount() { return moduleRecord.lockCount; }
};
