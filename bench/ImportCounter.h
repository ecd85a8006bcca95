#pragma once
#include <windows.h>

// Counts the heap and virtual-memory allocations one module makes, by pointing its import
// table entries for the allocation functions at counting wrappers.
namespace importcounter {

struct Counts {
    long heapAllocations;   // HeapAlloc, malloc, calloc, realloc
    long virtualAllocations; // VirtualAlloc
};

// Patches module's imports; returns how many entries were redirected.
int Install(HMODULE module);
Counts Now();

} // namespace importcounter
