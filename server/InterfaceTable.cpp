#include "server/InterfaceTable.h"
#include <cstring>

namespace {

struct GuidWords {
    DWORD word[4];
};

GuidWords WordsOf(const GUID& id)
{
    GuidWords words;
    std::memcpy(words.word, &id, sizeof words.word);
    return words;
}

IUnknown* InterfaceAt(void* object, DWORD offset)
{
    return reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + offset);
}

} // namespace

bool SameGuid(const GUID& left, const GUID& right)
{
    const GuidWords a = WordsOf(left), b = WordsOf(right);
    return a.word[0] == b.word[0] && a.word[1] == b.word[1] && a.word[2] == b.word[2] &&
           a.word[3] == b.word[3];
}

bool IsIUnknown(const GUID& id)
{
    const GuidWords w = WordsOf(id);
    return w.word[0] == 0 && w.word[1] == 0 && w.word[2] == 0x000000C0 && w.word[3] == 0x46000000;
}

HRESULT QueryInterfaceByTable(void* object, const InterfaceEntry* table, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;

    if (IsIUnknown(riid)) {
        IUnknown* primary = InterfaceAt(object, table[0].offset);
        primary->AddRef();
        *ppv = primary;
        return S_OK;
    }
    for (const InterfaceEntry* row = table; row->kind != 0; ++row) {
        if (!row->interfaceId || SameGuid(*row->interfaceId, riid)) {
            // AddRef through the interface itself, so a contained object counts on its outer unknown.
            IUnknown* found = InterfaceAt(object, row->offset);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
