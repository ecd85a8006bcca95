#pragma once
#include <windows.h>

// Reads a mapped 32-bit image: what lies at an address relative to its base, its headers and the
// tables its data directories point at.
template <class T>
T* AtRva(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

inline IMAGE_NT_HEADERS32& NtHeaders(HMODULE module)
{
    return *AtRva<IMAGE_NT_HEADERS32>(module, reinterpret_cast<const IMAGE_DOS_HEADER*>(module)->e_lfanew);
}

inline IMAGE_OPTIONAL_HEADER32& OptionalHeader(HMODULE module)
{
    return NtHeaders(module).OptionalHeader;
}

inline IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int entry)
{
    return OptionalHeader(module).DataDirectory[entry];
}
