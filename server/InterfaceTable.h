#pragma once
#include <windows.h>
#include <objbase.h>

// One row of a COM object's interface table; the first row whose kind is 0 ends the table.
struct InterfaceEntry {
    const IID* interfaceId;
    DWORD offset;
    DWORD kind;
};

constexpr DWORD InterfaceAtOffset = 1;

// Compares all 128 bits as four 32-bit words.
bool SameGuid(const GUID& left, const GUID& right);
bool IsIUnknown(const GUID& id);

// Answers QueryInterface from a table: IUnknown gives the first row's interface.
HRESULT QueryInterfaceByTable(void* object, const InterfaceEntry* table, REFIID riid, void** ppv);
