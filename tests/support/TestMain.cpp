#include "support/Verifier.h"
#include <gtest/gtest.h>
#include <windows.h>

int main(int argc, char** argv)
{
    // As strict as a host linked NX_COMPAT on Windows: no emulation of stack thunks either.
    SetProcessDEPPolicy(PROCESS_DEP_ENABLE | PROCESS_DEP_DISABLE_ATL_THUNK_EMULATION);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VERIFY_LINKED_MODULE
    VerifyEveryTest();
#endif
    return RUN_ALL_TESTS();
}
