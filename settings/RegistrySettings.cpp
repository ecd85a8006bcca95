#include "settings/RegistrySettings.h"

namespace {

// Owns a key opened or created under a root and closes it when the operation ends. An empty
// path hands back the root itself, which is the caller's and is never closed.
class OpenedKey {
public:
    explicit OpenedKey(HKEY root) : root(root) {}
    ~OpenedKey()
    {
        if (key && key != root)
            RegCloseKey(key);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY* Receive() { return &key; }
    operator HKEY() const { return key; }

private:
    const HKEY root;
    HKEY key = nullptr;
};

} // namespace

DWORD ReadDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD fallback)
{
    OpenedKey key(root);
    if (RegOpenKeyA(root, keyPath, key.Receive()) != ERROR_SUCCESS)
        return fallback;

    DWORD result = fallback;
    DWORD type = 0;
    DWORD size = sizeof result;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&result), &size) != ERROR_SUCCESS)
        result = fallback;
    return result;
}

bool WriteDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD value)
{
    OpenedKey key(root);
    if (RegOpenKeyA(root, keyPath, key.Receive()) != ERROR_SUCCESS) {
        DWORD disposition = 0;
        if (RegCreateKeyExA(root, keyPath, 0, const_cast<char*>(valueName), REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.Receive(), &disposition) != ERROR_SUCCESS)
            return false;
    }
    return RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}
