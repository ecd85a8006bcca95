#pragma once
#include <windows.h>

// Checks the rules that Windows and its Application Verifier enforce and Wine forgives, on every
// call the module makes through its import table (see Verifier.cpp). A broken rule ends the process
// with a message that names the rule and the call, failing the test.
void InstallVerifier(HMODULE module);

// Once the module has unloaded: nothing it obtained through its imports is left.
void VerifyUnloaded();

// The loader's lock, which the loader holds around every call of an entry point.
CRITICAL_SECTION* LoaderLock();
