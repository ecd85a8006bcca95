#include "settings/RegistrySettings.h"

namespace {

// An empty path would hand back the root itself, which is the caller's and is never closed.
void CloseOpenedKey(HKEY key, HKEY root)
{
    if (key != root)
        RegCloseKey(key);
}

} // namespace

DWORD ReadDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD fallback)
{
    DWORD result = fallback;
    HKEY key = nullptr;
    if (RegOpenKeyA(root, keyPath, &key) != ERROR_SUCCESS)
        return fallback;

    DWORD type = 0;
    DWORD size = sizeof result;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&result), &size) !=
        ERROR_SUCCESS)
        result = fallback;
    CloseOpenedKey(key, root);
    return result;
}

bool WriteDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD value)
{
    HKEY key = nullptr;
    if (RegOpenKeyA(root, keyPath, &key) != ERROR_SUCCESS) {
        DWORD disposition = 0;
        if (RegCreateKeyExA(root, keyPath, 0, const_cast<char*>(valueName), REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
            return false;
    }
    const bool stored = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                       sizeof value) == ERROR_SUCCESS;
    CloseOpenedKey(key, root);
    return stored;
}
