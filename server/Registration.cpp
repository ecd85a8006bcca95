#include "server/Registration.h"
#include <objbase.h>

HRESULT UpdatePluginRegistry(BOOL) { return E_NOTIMPL; }

// Registration is not available yet.
STDAPI DllRegisterServer() { return E_NOTIMPL; }
STDAPI DllUnregisterServer() { return E_NOTIMPL; }
