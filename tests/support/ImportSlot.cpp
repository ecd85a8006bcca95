#include "support/ImportSlot.h"
#include "support/PeImage.h"
#include <cstring>

DWORD* ImportSlot(HMODULE module, const char* name)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); entry->Name; ++entry) {
        auto* names = AtRva<IMAGE_THUNK_DATA32>(module, entry->OriginalFirstThunk);
        auto* slots = AtRva<IMAGE_THUNK_DATA32>(module, entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (names->u1.Ordinal & IMAGE_ORDINAL_FLAG32)
                continue;
            const auto* byName = AtRva<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD* slot = reinterpret_cast<DWORD*>(&slots->u1.Function);
            DWORD previous = 0;
            return VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous) ? slot : nullptr;
        }
    }
    return nullptr;
}
