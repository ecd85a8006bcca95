#pragma once
#include <gtest/gtest.h>

// Expects call, which hands out an interface through the ppv it names, to fail with code and to
// leave ppv null, whatever it held before.
#define EXPECT_REFUSED(code, call)                                                                                    \
    do {                                                                                                              \
        void* ppv = reinterpret_cast<void*>(1);                                                                       \
        EXPECT_EQ(call, code);                                                                                        \
        EXPECT_EQ(ppv, nullptr);                                                                                      \
    } while (false)
