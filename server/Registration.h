#pragma once
#include <windows.h>
#include "server/ModuleRecord.h"

// One component category of a class; the first row whose kind is 0 ends the table.
struct CategoryEntry {
    int kind; // 1: the class implements the category; other non-zero: the class requires it
    const GUID* categoryId;
};

constexpr int ImplementedCategory = 1;
// The registrar's answer for a module without "REGISTRY" resources, which this module is.
constexpr HRESULT NoRegistrationScript = HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);

// Runs a "REGISTRY" script resource of the module through the platform's registrar, with the
// module's path as the "Module" replacement.
HRESULT UpdateRegistryFromScript(const ModuleRecord& record, UINT scriptId, BOOL registering);

// Registers or unregisters a class's component categories; a missing category manager is no failure.
HRESULT RegisterClassCategories(REFCLSID classId, const CategoryEntry* table, BOOL registering);

// Tells running media players that a plug-in was added or removed.
void NotifyPluginAddRemove();
