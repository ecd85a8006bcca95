#pragma once
#include <windows.h>

// Enforces the module's Control Flow Guard as a Windows process that enforces it would: points the
// module's check pointer at a checker that ends the process with STATUS_STACK_BUFFER_OVERRUN when a
// guarded call targets an address inside the module that its guard table does not list. Wine
// enforces nothing, so without this a missing table entry would pass every test. Returns false
// when the module declares no guard.
bool EnforceGuard(HMODULE module);

// How many guarded calls the checker has seen, so that a test can tell it is in place.
LONG GuardedCallCount();
