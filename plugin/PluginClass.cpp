// The plug-in class's row in the class table: how it is created and how it is registered.
#include "plugin/AggregatedPlugin.h"
#include "plugin/PluginObject.h"
#include "server/ClassTable.h"
#include "server/ModuleRecord.h"
#include "server/Registration.h"

namespace {
constexpr UINT PluginScriptId = 101;
}

HRESULT CreatePluginInstance(void* outerUnknown, REFIID riid, void** ppv)
{
    if (!outerUnknown)
        return CreatePlugin(riid, ppv);
    return CreateAggregatedPlugin(static_cast<IUnknown*>(outerUnknown), riid, ppv);
}

// Runs script 101 of the module through the registrar.
HRESULT UpdatePluginRegistry(BOOL registering)
{
    return UpdateRegistryFromScript(moduleRecord, PluginScriptId, registering);
}
