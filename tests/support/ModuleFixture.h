#pragma once
#include <gtest/gtest.h>
#include "server/ModuleRecord.h"
#include "server/Exports.h"

// Starts the module's code linked into the test as the loader starts the DLL, and stops it after.
class ModuleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static LONG LockCount() { return moduleRecord.lockCount; }
};
