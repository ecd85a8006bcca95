#pragma once
#include <windows.h>
#include <objbase.h>
#include <atomic>

struct CategoryEntry;

using CreatorFunction = HRESULT (*)(void* argument, REFIID riid, void** ppv);

// One row of the class table; a row whose classId is null ends the table. The nine fields and
// their order are the row's fixed layout, including registrationCookie, which nothing reads.
struct ClassEntry {
    const CLSID* classId;
    HRESULT (*updateRegistry)(BOOL registering);
    CreatorFunction createClassObject;
    CreatorFunction createInstance;
    // Written once, after the class object is fully built; read outside the lock.
    std::atomic<IUnknown*> classObject;
    DWORD registrationCookie;
    const char* (*getDescription)();
    const CategoryEntry* (*getCategoryMap)();
    void (*classInit)(bool starting);
};

// {CC1F686D-E680-4392-8126-95060ED5222D}: the plug-in's class.
inline constexpr CLSID CLSID_VireoPlugin =
    {0xCC1F686D, 0xE680, 0x4392, {0x81, 0x26, 0x95, 0x06, 0x0E, 0xD5, 0x22, 0x2D}};

// The classes this module serves.
extern ClassEntry classTable[];

// The plug-in class's row functions, defined with the plug-in.
HRESULT UpdatePluginRegistry(BOOL registering);
HRESULT CreatePluginInstance(void* outerUnknown, REFIID riid, void** ppv);
