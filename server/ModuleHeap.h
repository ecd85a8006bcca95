#pragma once
#include <windows.h>
#include <new>
#include <utility>

// Objects of the module live on the process heap; allocation failure gives null, never an exception.
template <class T, class... Args>
T* HeapNew(Args&&... args)
{
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

// Destroys an object of exactly type T: module objects are never freed through a base pointer.
template <class T>
void HeapDelete(T* object)
{
    object->T::~T();
    HeapFree(GetProcessHeap(), 0, object);
}
