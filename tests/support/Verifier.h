#pragma once
#include <windows.h>

// Checks the rules that Windows and its Application Verifier enforce and Wine forgives, on every
// call the module makes through its import table (see Verifier.cpp). A broken rule ends the process
// with a message that names the rule and the call, failing the test.
void InstallVerifier(HMODULE module);

// Once the module has unloaded: nothing it obtained through its imports is left.
void VerifyUnloaded();

// For a program with the module's code linked in: the program's own imports verified, and nothing
// obtained through them left at the end of each test.
void VerifyEveryTest();

// The loader's lock, which the loader holds around every call of an entry point.
CRITICAL_SECTION* LoaderLock();
