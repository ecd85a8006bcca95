#pragma once
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

// The stored playback quality as the test sees it in the (test prefix's) registry.
struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;

    // What a check of a stored REG_DWORD compares: presence, type, size and number.
    std::tuple<bool, DWORD, size_t, DWORD> Seen() const { return {present, type, data.size(), AsDword()}; }
    DWORD AsDword() const
    {
        DWORD value = 0;
        std::copy_n(data.begin(), (std::min)(data.size(), sizeof value), reinterpret_cast<BYTE*>(&value));
        return value;
    }
};

// How a REG_DWORD holding value is seen.
inline std::tuple<bool, DWORD, size_t, DWORD> StoredDword(DWORD value) { return {true, REG_DWORD, 4, value}; }

inline StoredValue ReadStored(HKEY root, const char* path, const char* name)
{
    StoredValue stored;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return stored;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
        stored.data.resize(size);
        stored.present = RegQueryValueExA(key, name, nullptr, &stored.type, stored.data.data(), &size) ==
                         ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

// Stores the bytes exactly as given, whatever the type claims they are: the wide call stores string
// types' bytes as they are, where the ANSI one would convert them.
inline void WriteRaw(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const std::wstring wideName(name, name + std::strlen(name));
    RegSetValueExW(key, wideName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

inline void WriteDword(HKEY root, const char* path, const char* name, DWORD value)
{
    WriteRaw(root, path, name, REG_DWORD, &value, sizeof value);
}
