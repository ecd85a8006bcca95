#pragma once
#include <objbase.h>

// Owns one interface pointer obtained for an operation and releases it when the operation ends.
template <class Interface>
class ComHolder {
public:
    ComHolder() = default;
    ~ComHolder()
    {
        if (pointer)
            pointer->Release();
    }
    ComHolder(const ComHolder&) = delete;
    ComHolder& operator=(const ComHolder&) = delete;

    // The out-argument for the call that hands the pointer over.
    void** Receive() { return reinterpret_cast<void**>(&pointer); }
    Interface* operator->() const { return pointer; }

private:
    Interface* pointer = nullptr;
};
